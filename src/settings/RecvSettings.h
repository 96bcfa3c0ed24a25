#pragma once

#include "Conversation.h"

// Reads every setting from the instrument into ModSet (33 queries); reports a failed
// transaction in a message box and stops there.
Outcome RecvSettings(Link& link);

// Whether every setting has been received since the connection was made. Until then the
// record holds defaults (or a mix), and sending it would write them over the instrument's own.
bool SettingsReceived();
// A new connection: nothing has been received over it yet.
void ForgetReceivedSettings();
