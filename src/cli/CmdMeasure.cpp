#include "CliOutput.h"
#include "CliSession.h"
#include "Commands.h"
#include "MeasRecorder.h"
#include "Measurement.h"

#include <QDateTime>
#include <QElapsedTimer>

namespace {

// Prints one measurement; false when the run is over (stdout closed or the log failed).
bool show(CliSession& session, const MeasRecorder& recorder, int n, bool header, Exit* status)
{
    const CliCommand& c = session.command();
    if (recorder.logFailed()) {
        CliSession::error(
            QStringLiteral("cannot write %1: %2").arg(c.logPath, recorder.logError()));
        *status = Exit::LocalFile;
        return false;
    }
    const QString time = CliOutput::isoTime(QDateTime::currentDateTime());
    if (c.json)
        return session.print(CliOutput::jsonRow(time, recorder.lists(), n));
    if (header && !session.print(CliOutput::csvHeader(recorder.lists(), n)))
        return false;
    return session.print(CliOutput::csvRow(time, recorder.lists(), n));
}

} // namespace

Task<Exit> RunMeasure(CliSession& session, Job& job)
{
    const CliCommand& c = session.command();
    if (const Exit status = co_await session.connect(job); status != Exit::Done)
        co_return status;
    MeasRecorder recorder(c.logPath);
    recorder.log().setLogging(!c.logPath.isEmpty());

    // As the window's run: the first measurement with names, then values only.
    QElapsedTimer clock;
    clock.start();
    const Measurement first = co_await MeasureWithNames(job);
    if (const Exit status = session.failure(first.outcome, QStringLiteral("measuring"));
        status != Exit::Done)
        co_return status;
    Exit status = Exit::Done;
    if (!show(session, recorder, recorder.takeHeaderReply(first.reply.text), true, &status))
        co_return status;
    if (c.count == 1)
        co_return Exit::Done;
    const Outcome headerOff = co_await HeaderOff(job);
    if (const Exit s = session.failure(headerOff, QStringLiteral("measuring")); s != Exit::Done)
        co_return s;

    Exit failed = Exit::Done;
    for (qint64 done = 1; c.count == 0 || done < c.count; ++done) {
        // Each measurement starts one interval after the previous one started.
        const qint64 due = done * c.intervalMs;
        if (clock.elapsed() < due)
            co_await job.pause(int(due - clock.elapsed()));
        const Measurement m = co_await MeasureValues(job);
        // As in the window, a failed pass is reported and skipped, and the run goes on: an
        // unattended log keeps logging past one lost reply. The exit status still says so.
        if (const Exit s = session.failure(m.outcome, QStringLiteral("measuring"));
            s != Exit::Done) {
            failed = s;
            continue;
        }
        if (!show(session, recorder, recorder.takeDataReply(m.reply.text), false, &status))
            co_return status;
    }
    co_return failed;
}
