#include "CliOutput.h"
#include "CliSession.h"
#include "Commands.h"
#include "ModSet.h"
#include "Printable.h"
#include "RecvSettings.h"
#include "SendSettings.h"
#include "SettingsText.h"

#include <QFile>

#include <cstdio>

namespace {

// The lines to apply, from FILE or standard input; false with the reason on stderr.
bool readLines(const QString& file, QByteArray* text)
{
    QFile in;
    const bool ok = file == QLatin1String("-")
                        ? in.open(stdin, QIODevice::ReadOnly)
                        : (in.setFileName(file), in.open(QIODevice::ReadOnly));
    if (!ok) {
        CliSession::error(QStringLiteral("cannot read %1: %2").arg(file, in.errorString()));
        return false;
    }
    *text = in.readAll();
    return true;
}

} // namespace

Task<Exit> RunSettings(CliSession& session, Job& job)
{
    const CliCommand& c = session.command();
    QByteArray lines;
    if (c.action == CliAction::SettingsSet) {
        if (!readLines(c.file, &lines))
            co_return Exit::LocalFile;
        // The lines alone first, so a wrong one costs no conversation at all.
        ModSet scratch;
        const SettingsText::ApplyResult checked = SettingsText::apply(lines, scratch, false);
        if (!checked.ok) {
            CliSession::error(QStringLiteral("%1: %2").arg(c.file, checked.error));
            co_return Exit::Usage;
        }
    }
    if (const Exit status = co_await session.connect(job); status != Exit::Done)
        co_return status;

    ModSet& record = session.session().settings();
    const Outcome received = co_await RecvSettings(job, record);
    if (const Exit status = session.failure(received, QStringLiteral("receiving settings"), true);
        status != Exit::Done)
        co_return status;
    if (c.action == CliAction::SettingsGet) {
        const QString text = SettingsText::format(record);
        if (c.json)
            session.print(CliOutput::settingsJson(text));
        else
            for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                if (!session.print(Printable(line.toUtf8())))
                    break;
        co_return Exit::Done;
    }

    const SettingsText::ApplyResult applied = SettingsText::apply(lines, record);
    if (!applied.ok) {
        CliSession::error(QStringLiteral("%1: %2").arg(c.file, applied.error));
        co_return Exit::Usage;
    }
    SendSettingsInputs inputs;
    inputs.checkAdjust = [&c] { return c.clock ? 1 : 0; };
    const SendResult sent = co_await SendSettings(job, record, inputs);
    if (const Exit status = session.failure(sent.outcome, QStringLiteral("sending settings"), true);
        status != Exit::Done)
        co_return status;
    if (sent.refused > 0) {
        CliSession::error(
            QStringLiteral("the instrument refused %1 setting(s); the others were sent")
                .arg(sent.refused));
        co_return Exit::Refused;
    }
    co_return Exit::Done;
}
