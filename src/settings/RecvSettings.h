#pragma once

#include "Conversation.h"

struct ModSet;

// Reads every setting from the instrument into s (33 queries), each reply stored as it comes;
// a failed transaction is shown as "ERROR! nn..." (the job pauses there) and ends the receive.
Task<Outcome> RecvSettings(Job& job, ModSet& s);
