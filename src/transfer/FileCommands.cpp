#include "FileCommands.h"

namespace {

const char* const kKinds[] = {"MEAS", "INST", "BMP", "WAVE"};

FileCommandResult fileCommand(Link& link, const QByteArray& command)
{
    Conversation talk(link);
    const Link::Reply reply = talk.send(command, FileCommandTimeoutMs);
    // Part of "ALL RIGHT" cut off by the time-out is no success.
    return {talk.outcome(), talk.outcome().completed() && reply.text.contains("ALL")};
}

} // namespace

Listing ListFiles(Link& link, Medium medium, const StopRequest& stop)
{
    Conversation talk(link, stop);
    talk.send(QByteArrayLiteral(":HEAD OFF"), 1000);
    if (talk.stopped())
        return {talk.outcome(), {}};
    const QByteArray prefix = medium == Medium::Card ? QByteArrayLiteral(":CARD:FILE? ")
                                                     : QByteArrayLiteral(":MEM:FILE? ");
    QList<QByteArray> replies;
    for (const char* kind : kKinds) {
        replies << talk.send(prefix + kind, 1000).text;
        if (talk.stopped())
            return {talk.outcome(), {}};
    }
    return {talk.outcome(), FileList::parse(replies)};
}

FileCommandResult DeleteCardFile(Link& link, const QByteArray& name)
{
    return fileCommand(link, QByteArrayLiteral(":CARD:DEL ") + name);
}

FileCommandResult FormatMemory(Link& link)
{
    return fileCommand(link, QByteArrayLiteral(":MEM:FORM"));
}
