#include "CliSession.h"
#include "Commands.h"
#include "FileCommands.h"
#include "FileDownload.h"
#include "Printable.h"
#include "TransferMeter.h"

#include <QFile>

#include <cstdio>
#include <unistd.h>

namespace {

Medium medium(const CliCommand& c)
{
    return c.memory ? Medium::Memory : Medium::Card;
}

QString mediumName(const CliCommand& c)
{
    return c.memory ? QStringLiteral("the internal memory") : QStringLiteral("the PC card");
}

// The listing of the chosen medium; an exit status other than Done when there is none.
Task<Exit> list(CliSession& session, Job& job, Listing* listing)
{
    const CliCommand& c = session.command();
    *listing = co_await ListFiles(job, medium(c));
    if (const Exit status = session.failure(listing->outcome, QStringLiteral("listing files"));
        status != Exit::Done)
        co_return status;
    if (listing->files.status() == FileList::Status::NoCard) {
        CliSession::error(
            QStringLiteral("%1 cannot be read: the instrument answered \"EXECUTE ERROR\" "
                           "(no PC card?)")
                .arg(mediumName(c)));
        co_return Exit::Refused;
    }
    co_return Exit::Done;
}

Task<Exit> get(CliSession& session, Job& job, const FileList& files, QString name)
{
    const CliCommand& c = session.command();
    const QByteArray wanted = name.toLatin1();
    const qsizetype row = files.names().indexOf(wanted);
    if (row < 0) {
        CliSession::error(QStringLiteral("%1: no such file on %2").arg(name, mediumName(c)));
        co_return Exit::Usage;
    }
    if (const QString problem = FileDownload::nameProblem(wanted); !problem.isEmpty()) {
        CliSession::error(
            QStringLiteral("%1 cannot be saved under that name: %2").arg(name, problem));
        co_return Exit::LocalFile;
    }
    qint32 size = 0;
    if (!FileDownload::parseSize(files.sizes().at(row), &size)) {
        CliSession::error(QStringLiteral("the size of %1 is not a number of bytes: \"%2\"")
                              .arg(name, Printable(files.sizes().at(row), 80)));
        co_return Exit::Refused;
    }

    const QString target = FileDownload::targetPath(c.directory, wanted);
    FileDownload::Decision decision = FileDownload::plan(target, size, !c.restart);
    if (decision.plan == FileDownload::Plan::LocalNotShorter && !c.overwrite) {
        CliSession::error(
            QStringLiteral("%1 is already as long as %2 (%3 bytes) or longer: nothing "
                           "to continue; --overwrite fetches it afresh")
                .arg(target, name)
                .arg(size));
        co_return Exit::LocalFile;
    }
    if (decision.plan != FileDownload::Plan::Start) {
        QFile old(target);
        if (!old.remove()) {
            CliSession::error(
                QStringLiteral("cannot delete %1: %2").arg(target, old.errorString()));
            co_return Exit::LocalFile;
        }
        decision.start = 1;
    }

    FileDownload download(wanted, size, medium(c));
    if (decision.start > 1) {
        switch (co_await FileDownload::checkResume(job, download, target, decision.start)) {
        case FileDownload::Match::Same:
            break;
        case FileDownload::Match::CommunicationError:
            CliSession::error(QStringLiteral("%1: the check of the local copy's end did not "
                                             "arrive (communication error)")
                                  .arg(name));
            co_return Exit::Timeout;
        case FileDownload::Match::FileError:
            CliSession::error(QStringLiteral("cannot read %1").arg(target));
            co_return Exit::LocalFile;
        case FileDownload::Match::Different:
            CliSession::error(QStringLiteral("%1 differs from %2 on the instrument: not "
                                             "continued; --restart downloads it afresh")
                                  .arg(target, name));
            co_return Exit::LocalFile;
        }
    }
    TransferMeter meter;
    const bool progress = ::isatty(STDERR_FILENO) == 1;
    if (progress) {
        meter.start(decision.start, size);
        download.setProgress([&](qint32 end) {
            std::fprintf(stderr, "\r%s %d/%d bytes, %s\x1b[K", qPrintable(name), end, size,
                         qPrintable(meter.update(end)));
            std::fflush(stderr);
        });
    }
    const FileDownload::Result result =
        co_await FileDownload::run(job, download, target, decision.start);
    if (progress)
        std::fputs("\n", stderr);
    switch (result.status) {
    case FileDownload::Status::Complete:
        co_return Exit::Done;
    case FileDownload::Status::CommunicationError:
        CliSession::error(QStringLiteral("%1: a block did not arrive (communication error); %2 "
                                         "keeps what arrived, files get continues it")
                              .arg(name, target));
        co_return Exit::Timeout;
    case FileDownload::Status::FileError:
        CliSession::error(QStringLiteral("cannot write %1: %2").arg(target, result.reason));
        co_return Exit::LocalFile;
    }
    co_return Exit::Done;
}

} // namespace

Task<Exit> RunFiles(CliSession& session, Job& job)
{
    const CliCommand& c = session.command();
    if (const Exit status = co_await session.connect(job); status != Exit::Done)
        co_return status;

    if (c.action == CliAction::FilesDelete || c.action == CliAction::MemoryFormat) {
        const bool del = c.action == CliAction::FilesDelete;
        FileCommandResult r;
        if (del)
            r = co_await DeleteCardFile(job, c.names.first().toLatin1());
        else
            r = co_await FormatMemory(job);
        const QString what = del ? QStringLiteral("deleting %1").arg(c.names.first())
                                 : QStringLiteral("formatting the memory");
        if (const Exit status = session.failure(r.outcome, what); status != Exit::Done)
            co_return status;
        if (!r.succeeded) {
            CliSession::error(QStringLiteral("%1: the instrument refused (reply \"%2\")")
                                  .arg(what, Printable(r.reply.trimmed(), 80)));
            co_return Exit::Refused;
        }
        co_return Exit::Done;
    }

    Listing listing;
    if (const Exit status = co_await list(session, job, &listing); status != Exit::Done)
        co_return status;
    if (c.action == CliAction::FilesList) {
        for (int i = 0; i < listing.files.count(); ++i)
            if (!session.print(Printable(listing.files.names().at(i)) + QLatin1Char('\t') +
                               Printable(listing.files.sizes().at(i))))
                break;
        co_return Exit::Done;
    }
    for (const QString& name : c.names)
        if (const Exit status = co_await get(session, job, listing.files, name);
            status != Exit::Done)
            co_return status;
    co_return Exit::Done;
}
