#pragma once

#include "Conversation.h"

// Reads every setting from the instrument into ModSet (33 queries); reports a failed
// transaction in a message box and stops there.
Outcome RecvSettings(Link& link);
