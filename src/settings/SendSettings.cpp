#include "SendSettings.h"

#include "ItemWords.h"
#include "Link.h"
#include "ModSet.h"
#include "NumberText.h"
#include "SettingsTable.h"

#include <algorithm>
#include <optional>
#include <utility>

using namespace SettingsTable;

namespace {

// The transactions of one send, and what became of them.
class Sender
{
public:
    explicit Sender(Job& job) : m_job(job) {}

    // Runs one transaction; false when it failed and the send is over. A refusal is shown
    // and the send goes on once the user has closed it.
    Task<bool> send(QString command)
    {
        const Link::Reply reply = co_await m_job.transact(command.toLatin1(), 1000);
        if (reply.result != Link::Result::Complete) {
            m_result.outcome = Outcome::failure(command.toLatin1(), reply.result, reply.text);
            co_await m_job.message(
                MessageKind::Plain,
                QStringLiteral("ERROR! 設定送信を中断します\r\n") +
                    QStringLiteral("%1").arg(int(reply.result), 2, 10, QLatin1Char('0')) +
                    QString::fromLatin1(m_job.link().LastSent()));
            co_return false;
        }
        if (reply.text != "ALL RIGHT\r\n") {
            ++m_result.refused;
            co_await m_job.message(MessageKind::Warning,
                                   command + QLatin1Char('/') + QString::fromLatin1(reply.text));
        }
        co_return true;
    }

    const SendResult& result() const { return m_result; }

    // A setting that is not sent, and why.
    Task<bool> skipped(QString why)
    {
        ++m_result.skipped;
        co_await m_job.message(MessageKind::Warning, why);
        co_return true;
    }

private:
    Job& m_job;
    SendResult m_result;
};

// Text the line can carry as it is: no control characters, nothing beyond Latin-1.
bool sendable(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() != 0x7F && c.unicode() <= 0xFF;
    });
}

// The word of a member's code on the command line; nothing for a code without one (a damaged
// reply stored it), which is not sent rather than sent as half a command.
std::optional<QString> wordOf(const Member& m, qint32 code)
{
    const QByteArrayList& words = m.sent.isEmpty() ? m.words : m.sent;
    if (code < 0 || code >= words.size())
        code = m.orElse;
    if (code < 0)
        return std::nullopt;
    return QString::fromLatin1(words[code]);
}

struct Line
{
    Line(QString line = {}, QString why = {}) : text(std::move(line)), skipped(std::move(why)) {}
    QString text;    // empty: nothing to send
    QString skipped; // why the setting is not sent
};

Line skip(const QString& setting, qint32 code)
{
    return {{},
            QStringLiteral("%1 = %2 has no command; this setting was not sent.")
                .arg(setting)
                .arg(code)};
}

// The row's command line for one circuit (the circuit counts for circuit rows only), built
// from the record as it is now.
Line commandLine(const Row& row, int circuit, const ModSet& s, const SendSettingsInputs& in)
{
    const QString command = QLatin1String(row.command);
    switch (row.arg) {
    case Arg::None:
        return {};
    case Arg::Word: {
        const Member& m = row.members.front();
        const qint32 code = codeOf(m.in(s, 0));
        if (const auto word = wordOf(m, code))
            return {command + *word};
        return skip(m.nameOf(0), code);
    }
    case Arg::Blanks: {
        QStringList values;
        for (const Member& m : row.members)
            values << BlankForm(numberOf(m.in(s, 0)));
        return {command + values.join(QLatin1Char(','))};
    }
    case Arg::Circuits: {
        const Member& m = row.members.front();
        const QString head = command + BlankForm(circuit) + QLatin1Char(',');
        const Ref ref = m.in(s, circuit);
        if (m.kind == Kind::Real)
            return {head + PlainForm(numberOf(ref))};
        if (const auto word = wordOf(m, codeOf(ref)))
            return {head + *word};
        return skip(QStringLiteral("%1(%2)").arg(QLatin1String(m.name)).arg(circuit), codeOf(ref));
    }
    case Arg::Field: {
        const QString name = in.dataFName ? in.dataFName() : s.DataFName;
        // A line break in the name would reach the instrument as a second command.
        if (!sendable(name))
            return {{},
                    QStringLiteral("DataFName \"%1\" has characters the line cannot carry; "
                                   "this setting was not sent.")
                        .arg(name.simplified())};
        return {command + name};
    }
    case Arg::Items:
        return {DataItemText(s)};
    case Arg::Clock: {
        if ((in.checkAdjust ? in.checkAdjust() : 0) != 1)
            return {};
        // One reading gives date and time together, so a send at midnight cannot mix two days.
        const QDateTime now = in.clock ? in.clock() : QDateTime::currentDateTime();
        const QDate d = now.date();
        const QTime t = now.time();
        return {command + QStringLiteral("%1,%2,%3,%4,%5,%6")
                              .arg(d.year())
                              .arg(d.month())
                              .arg(d.day())
                              .arg(t.hour())
                              .arg(t.minute())
                              .arg(t.second())};
    }
    }
    return {};
}

} // namespace

Task<SendResult> SendSettings(Job& job, const ModSet& s, SendSettingsInputs inputs)
{
    Sender out(job);
    for (const Row* row : sendOrder()) {
        // Circuits above the count get no command; the count is read as the row starts.
        const int count = row->arg == Arg::Circuits ? std::min(s.CirNum, 4) : 1;
        for (int circuit = 1; circuit <= count; ++circuit) {
            // Built just before its transaction, so an edit made in the dialog while an earlier
            // command waits reaches every command not yet built.
            const Line line = commandLine(*row, circuit, s, inputs);
            if (!line.skipped.isEmpty()) {
                co_await out.skipped(line.skipped);
                continue;
            }
            if (line.text.isEmpty())
                continue;
            if (!co_await out.send(line.text))
                co_return out.result();
        }
    }
    co_return out.result();
}
