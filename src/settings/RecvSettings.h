#pragma once

class Link;

// Reads every setting from the instrument into ModSet (33 queries); reports a failed
// transaction in a message box and stops there.
void RecvSettings(Link& link);
