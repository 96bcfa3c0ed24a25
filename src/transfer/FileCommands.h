#pragma once

#include "Conversation.h"
#include "FileList.h"
#include "Medium.h"

struct Listing
{
    Outcome outcome;
    FileList files;
};

// ":HEAD OFF", then the four list queries (MEAS, INST, BMP, WAVE) of the medium. A failed
// query leaves its reply empty or partial, which the parser skips.
Task<Listing> ListFiles(Job& job, Medium medium);

struct FileCommandResult
{
    Outcome outcome;
    bool succeeded = false; // a complete reply said "ALL"
    QByteArray reply;
};

// Milliseconds the instrument may take to delete or format.
inline constexpr int FileCommandTimeoutMs = 60000;

// ":CARD:DEL name".
Task<FileCommandResult> DeleteCardFile(Job& job, QByteArray name);
// ":MEM:FORM".
Task<FileCommandResult> FormatMemory(Job& job);
