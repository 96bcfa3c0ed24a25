#include "SendSettings.h"

#include "InstrumentWords.h"
#include "Link.h"
#include "ModSet.h"
#include "NumberText.h"
#include "SettingsCodec.h"

#include <algorithm>
#include <optional>

namespace {

namespace W = InstrumentWords;

// One send: each command is built from the record just before its transaction, so an edit
// made in the dialog while an earlier command waits reaches every command not yet built.
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

    // prefix + the word of code; a code without a word (a damaged reply stored it) is
    // reported and skipped rather than sent as a half command.
    template <class Words>
    Task<bool> sendWord(QString prefix, const Words& words, qint32 code, QString setting)
    {
        if (code < 0 || code >= qint32(words.size()))
            co_return co_await skip(setting, code);
        co_return co_await send(prefix + QLatin1String(words[code]));
    }

    Task<bool> sendText(QString prefix, QString text, qint32 code, QString setting)
    {
        if (text.isEmpty())
            co_return co_await skip(setting, code);
        co_return co_await send(prefix + text);
    }

    const SendResult& result() const { return m_result; }

    Task<bool> skip(QString setting, qint32 code)
    {
        co_return co_await skipped(
            QStringLiteral("%1 = %2 has no command; this setting was not sent.")
                .arg(setting)
                .arg(code));
    }
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

// Five or three fields; a coroutine cannot hold an initializer list's array across a step.
QString blankList(qint32 a, qint32 b, qint32 c, std::optional<qint32> d = {},
                  std::optional<qint32> e = {})
{
    QList<qint32> values{a, b, c};
    for (const auto& more : {d, e})
        if (more)
            values << *more;
    QStringList parts;
    for (qint32 v : values)
        parts << BlankForm(v);
    return parts.join(QLatin1Char(','));
}

} // namespace

Task<SendResult> SendSettings(Job& job, const ModSet& s, SendSettingsInputs inputs)
{
    Sender out(job);
    const auto circuit = [](const char* name, int i) {
        return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(i);
    };

    if (!co_await out.sendWord(QStringLiteral(":WIR "), W::Wiring, s.Wiring,
                               QStringLiteral("Wiring")))
        co_return out.result();
    if (!co_await out.send(QStringLiteral(":CIRC") + BlankForm(s.CirNum)))
        co_return out.result();
    if (!co_await out.sendWord(QStringLiteral(":SAMP "), W::Sampling, s.Sampling,
                               QStringLiteral("Sampling")))
        co_return out.result();
    if (!co_await out.sendWord(QStringLiteral(":FREQ "), W::Freq, s.Freq, QStringLiteral("Freq")))
        co_return out.result();
    if (!co_await out.sendWord(QStringLiteral(":OPER "), W::VarMethod, s.VarMethod,
                               QStringLiteral("VarMethod")))
        co_return out.result();
    if (!co_await out.send(QStringLiteral(":AVE") + BlankForm(s.Average)))
        co_return out.result();
    if (!co_await out.sendWord(QStringLiteral(":VOLT:RANG "), W::URange, s.URange,
                               QStringLiteral("URange")))
        co_return out.result();
    if (!co_await out.send(QStringLiteral(":VT") + BlankForm(s.VT)))
        co_return out.result();

    for (int i = 1, n = s.CirNum; i <= n && i <= 4; ++i) {
        if (!co_await out.sendText(QStringLiteral(":SENS") + BlankForm(i) + QLatin1Char(','),
                                   SensText(s.Sens[i]), s.Sens[i], circuit("Sens", i)))
            co_return out.result();
    }
    for (int i = 1, n = s.CirNum; i <= n && i <= 4; ++i) {
        if (!co_await out.sendText(QStringLiteral(":CURR:RANG") + BlankForm(i) + QLatin1Char(','),
                                   IRangeText(s.IRange[i]), s.IRange[i], circuit("IRange", i)))
            co_return out.result();
    }
    for (int i = 1, n = s.CirNum; i <= n && i <= 4; ++i) {
        if (!co_await out.send(QStringLiteral(":CT") + BlankForm(i) + QLatin1Char(',') +
                               PlainForm(s.CT[i])))
            co_return out.result();
    }

    if (!co_await out.sendWord(QStringLiteral(":START:METH "), W::StartMeth, s.StartMeth,
                               QStringLiteral("StartMeth")))
        co_return out.result();
    if (!co_await out.send(QStringLiteral(":START:TIME") +
                           blankList(s.StartY, s.StartM, s.StartD, s.StartHH, s.StartMM)))
        co_return out.result();
    if (!co_await out.sendWord(QStringLiteral(":STOP:METH "), W::StopMeth, s.StopMeth,
                               QStringLiteral("StopMeth")))
        co_return out.result();
    if (!co_await out.send(QStringLiteral(":STOP:TIME") +
                           blankList(s.StopY, s.StopM, s.StopD, s.StopHH, s.StopMM)))
        co_return out.result();
    if (!co_await out.send(QStringLiteral(":TIMER") + blankList(s.Timer1, s.Timer2, s.Timer3)))
        co_return out.result();
    if (!co_await out.sendText(QStringLiteral(":INTE "), IntvlText(s.Intvl), s.Intvl,
                               QStringLiteral("Intvl")))
        co_return out.result();
    if (!co_await out.sendWord(QStringLiteral(":DATA:MEDI "), W::Media, s.Media,
                               QStringLiteral("Media")))
        co_return out.result();
    const QString name = inputs.dataFName ? inputs.dataFName() : s.DataFName;
    if (!sendable(name)) {
        // A line break in the name would reach the instrument as a second command.
        co_await out.skipped(
            QStringLiteral("DataFName \"%1\" has characters the line cannot carry; "
                           "this setting was not sent.")
                .arg(name.simplified()));
    } else if (!co_await out.send(QStringLiteral(":FILE:MEAS ") + name)) {
        co_return out.result();
    }
    // A printer destination received from the instrument goes back unchanged.
    if (!co_await out.sendWord(QStringLiteral(":DATA:COPY:MEDI "), W::CopyDst, s.CopyDst,
                               QStringLiteral("CopyDst")))
        co_return out.result();
    if (!co_await out.send(DataItemText(s)))
        co_return out.result();
    if (!co_await out.send(s.Wave ? QStringLiteral(":DATA:WAVE ON")
                                  : QStringLiteral(":DATA:WAVE OFF")))
        co_return out.result();
    if (!co_await out.send(s.Harm ? QStringLiteral(":DATA:HARM ON")
                                  : QStringLiteral(":DATA:HARM OFF")))
        co_return out.result();
    if (!co_await out.send(s.THDType == 0 ? QStringLiteral(":THD F") : QStringLiteral(":THD R")))
        co_return out.result();
    if (!co_await out.sendWord(QStringLiteral(":BACK "), W::BL, s.BL, QStringLiteral("BL")))
        co_return out.result();
    if (!co_await out.send(s.Beep == 1 ? QStringLiteral(":BEEP ON") : QStringLiteral(":BEEP OFF")))
        co_return out.result();
    if (!co_await out.send(QStringLiteral("ID") + BlankForm(s.ID)))
        co_return out.result();
    if (!co_await out.sendWord(QStringLiteral(":LANG "), W::Lang, s.Lang, QStringLiteral("Lang")))
        co_return out.result();

    if ((inputs.checkAdjust ? inputs.checkAdjust() : 0) != 1)
        co_return out.result();
    // One reading gives date and time together, so a send at midnight cannot mix two days.
    const QDateTime now = inputs.clock ? inputs.clock() : QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    co_await out.send(QStringLiteral(":CLOCK %1,%2,%3,%4,%5,%6")
                          .arg(d.year())
                          .arg(d.month())
                          .arg(d.day())
                          .arg(t.hour())
                          .arg(t.minute())
                          .arg(t.second()));
    co_return out.result();
}
