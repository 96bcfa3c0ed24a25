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

int RunSettings(CliSession& session)
{
    const CliCommand& c = session.command();
    QByteArray lines;
    if (c.action == CliAction::SettingsSet) {
        if (!readLines(c.file, &lines))
            return Exit::LocalFile;
        // The lines alone first, so a wrong one costs no conversation at all.
        ModSet scratch;
        const SettingsText::ApplyResult checked = SettingsText::apply(lines, scratch, false);
        if (!checked.ok) {
            CliSession::error(QStringLiteral("%1: %2").arg(c.file, checked.error));
            return Exit::Usage;
        }
    }
    if (const int status = session.connect())
        return status;

    const Outcome received = RecvSettings(session.link());
    if (const int status = session.failure(received, QStringLiteral("receiving settings"), true))
        return status;
    ModSet& record = ModSet::instance();
    if (c.action == CliAction::SettingsGet) {
        const QString text = SettingsText::format(record);
        if (c.json)
            session.print(CliOutput::settingsJson(text));
        else
            for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                if (!session.print(Printable(line.toUtf8())))
                    break;
        return Exit::Done;
    }

    const SettingsText::ApplyResult applied = SettingsText::apply(lines, record);
    if (!applied.ok) {
        CliSession::error(QStringLiteral("%1: %2").arg(c.file, applied.error));
        return Exit::Usage;
    }
    SendSettingsInputs inputs;
    inputs.checkAdjust = [&c] { return c.clock ? 1 : 0; };
    const SendResult sent = SendSettings(session.link(), inputs);
    if (const int status = session.failure(sent.outcome, QStringLiteral("sending settings"), true))
        return status;
    if (sent.refused > 0) {
        CliSession::error(
            QStringLiteral("the instrument refused %1 setting(s); the others were sent")
                .arg(sent.refused));
        return Exit::Refused;
    }
    return Exit::Done;
}
