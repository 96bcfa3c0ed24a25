#include "FileCommands.h"

namespace {

const char* const kKinds[] = {"MEAS", "INST", "BMP", "WAVE"};

Task<FileCommandResult> fileCommand(Job& job, QByteArray command)
{
    Conversation talk(job);
    const Link::Reply reply = co_await talk.send(command, FileCommandTimeoutMs);
    // Part of "ALL RIGHT" cut off by the time-out is no success.
    co_return FileCommandResult{
        talk.outcome(), talk.outcome().completed() && reply.text.contains("ALL"), reply.text};
}

} // namespace

Task<Listing> ListFiles(Job& job, Medium medium)
{
    Conversation talk(job);
    co_await talk.send(QByteArrayLiteral(":HEAD OFF"), 1000);
    const QByteArray prefix = medium == Medium::Card ? QByteArrayLiteral(":CARD:FILE? ")
                                                     : QByteArrayLiteral(":MEM:FILE? ");
    QList<QByteArray> replies;
    for (const char* kind : kKinds) {
        const Link::Reply reply = co_await talk.send(prefix + kind, 1000);
        replies << reply.text;
    }
    co_return Listing{talk.outcome(), FileList::parse(replies)};
}

Task<FileCommandResult> DeleteCardFile(Job& job, QByteArray name)
{
    return fileCommand(job, QByteArrayLiteral(":CARD:DEL ") + name);
}

Task<FileCommandResult> FormatMemory(Job& job)
{
    return fileCommand(job, QByteArrayLiteral(":MEM:FORM"));
}
