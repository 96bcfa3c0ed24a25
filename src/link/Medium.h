#pragma once

// Where the instrument stores files.
enum class Medium
{
    Card,  // the PC card
    Memory // the internal memory
};
