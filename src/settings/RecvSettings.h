#pragma once

#include "Conversation.h"

struct ModSet;
namespace SettingsTable {
struct Row;
}

// Reads every setting from the instrument into s (33 queries), each reply stored as it comes;
// a failed transaction is shown as "ERROR! nn..." (the job pauses there) and ends the receive.
Task<Outcome> RecvSettings(Job& job, ModSet& s);

// Stores a reply to the row's query (with its CR LF) in s, as the receive does.
void StoreReply(const SettingsTable::Row& row, const QByteArray& reply, ModSet& s);
