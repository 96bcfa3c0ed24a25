#pragma once

// The kinds of message a conversation or a window shows the user.
enum class MessageKind
{
    Plain,    // no icon, OK
    Warning,  // warning icon, OK
    Critical, // critical icon, OK
    Question  // no icon, Yes and No
};
