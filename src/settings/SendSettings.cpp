#include "SendSettings.h"

#include "InstrumentWords.h"
#include "Link.h"
#include "MessageService.h"
#include "ModSet.h"
#include "NumberText.h"
#include "SettingsCodec.h"

#include <algorithm>

namespace {

namespace W = InstrumentWords;

// One send: each command is built from the record just before its transaction, so an edit
// made in the dialog while an earlier command waits reaches every command not yet built.
class Sender
{
public:
    explicit Sender(Link& link) : m_link(link) {}

    // Runs one transaction; false when it failed and the send is over.
    bool send(const QString& command)
    {
        const Link::Reply reply = m_link.SendCommand(command.toLatin1(), 1000);
        if (reply.result != Link::ResultComplete) {
            m_result.outcome = Outcome::failure(command.toLatin1(), reply.result, reply.text);
            MessageService::plain(QStringLiteral("ERROR! 設定送信を中断します\r\n") +
                                  QStringLiteral("%1").arg(reply.result, 2, 10, QLatin1Char('0')) +
                                  QString::fromLatin1(m_link.Send()));
            return false;
        }
        if (reply.text != "ALL RIGHT\r\n") {
            ++m_result.refused;
            MessageService::warning(command + QLatin1Char('/') + QString::fromLatin1(reply.text));
        }
        return true;
    }

    // prefix + the word of code; a code without a word (a damaged reply stored it) is
    // reported and skipped rather than sent as a half command.
    template <class Words>
    bool sendWord(const char* prefix, const Words& words, qint32 code, const QString& setting)
    {
        if (code < 0 || code >= qint32(words.size()))
            return skip(setting, code);
        return send(QLatin1String(prefix) + QLatin1String(words[code]));
    }

    bool sendText(const QString& prefix, const QString& text, qint32 code, const QString& setting)
    {
        if (text.isEmpty())
            return skip(setting, code);
        return send(prefix + text);
    }

    const SendResult& result() const { return m_result; }
    void skipped() { ++m_result.skipped; }

private:
    bool skip(const QString& setting, qint32 code)
    {
        ++m_result.skipped;
        MessageService::warning(QStringLiteral("%1 = %2 has no command; this setting was not sent.")
                                    .arg(setting)
                                    .arg(code));
        return true;
    }

    Link& m_link;
    SendResult m_result;
};

// Text the line can carry as it is: no control characters, nothing beyond Latin-1.
bool sendable(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() != 0x7F && c.unicode() <= 0xFF;
    });
}

QString blankList(std::initializer_list<qint32> values)
{
    QStringList parts;
    for (qint32 v : values)
        parts << BlankForm(v);
    return parts.join(QLatin1Char(','));
}

} // namespace

SendResult SendSettings(Link& link, const SendSettingsInputs& inputs)
{
    const ModSet& s = ModSet::instance();
    Sender out(link);
    const auto circuit = [](const char* name, int i) {
        return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(i);
    };

    if (!out.sendWord(":WIR ", W::Wiring, s.Wiring, QStringLiteral("Wiring")))
        return out.result();
    if (!out.send(QStringLiteral(":CIRC") + BlankForm(s.CirNum)))
        return out.result();
    if (!out.sendWord(":SAMP ", W::Sampling, s.Sampling, QStringLiteral("Sampling")))
        return out.result();
    if (!out.sendWord(":FREQ ", W::Freq, s.Freq, QStringLiteral("Freq")))
        return out.result();
    if (!out.sendWord(":OPER ", W::VarMethod, s.VarMethod, QStringLiteral("VarMethod")))
        return out.result();
    if (!out.send(QStringLiteral(":AVE") + BlankForm(s.Average)))
        return out.result();
    if (!out.sendWord(":VOLT:RANG ", W::URange, s.URange, QStringLiteral("URange")))
        return out.result();
    if (!out.send(QStringLiteral(":VT") + BlankForm(s.VT)))
        return out.result();

    for (int i = 1, n = s.CirNum; i <= n && i <= 4; ++i) {
        if (!out.sendText(QStringLiteral(":SENS") + BlankForm(i) + QLatin1Char(','),
                          SensText(s.Sens[i]), s.Sens[i], circuit("Sens", i)))
            return out.result();
    }
    for (int i = 1, n = s.CirNum; i <= n && i <= 4; ++i) {
        if (!out.sendText(QStringLiteral(":CURR:RANG") + BlankForm(i) + QLatin1Char(','),
                          IRangeText(s.IRange[i]), s.IRange[i], circuit("IRange", i)))
            return out.result();
    }
    for (int i = 1, n = s.CirNum; i <= n && i <= 4; ++i) {
        if (!out.send(QStringLiteral(":CT") + BlankForm(i) + QLatin1Char(',') + PlainForm(s.CT[i])))
            return out.result();
    }

    if (!out.sendWord(":START:METH ", W::StartMeth, s.StartMeth, QStringLiteral("StartMeth")))
        return out.result();
    if (!out.send(QStringLiteral(":START:TIME") +
                  blankList({s.StartY, s.StartM, s.StartD, s.StartHH, s.StartMM})))
        return out.result();
    if (!out.sendWord(":STOP:METH ", W::StopMeth, s.StopMeth, QStringLiteral("StopMeth")))
        return out.result();
    if (!out.send(QStringLiteral(":STOP:TIME") +
                  blankList({s.StopY, s.StopM, s.StopD, s.StopHH, s.StopMM})))
        return out.result();
    if (!out.send(QStringLiteral(":TIMER") + blankList({s.Timer1, s.Timer2, s.Timer3})))
        return out.result();
    if (!out.sendText(QStringLiteral(":INTE "), IntvlText(s.Intvl), s.Intvl,
                      QStringLiteral("Intvl")))
        return out.result();
    if (!out.sendWord(":DATA:MEDI ", W::Media, s.Media, QStringLiteral("Media")))
        return out.result();
    const QString name = inputs.dataFName ? inputs.dataFName() : s.DataFName;
    if (!sendable(name)) {
        // A line break in the name would reach the instrument as a second command.
        out.skipped();
        MessageService::warning(
            QStringLiteral("DataFName \"%1\" has characters the line cannot carry; "
                           "this setting was not sent.")
                .arg(name.simplified()));
    } else if (!out.send(QStringLiteral(":FILE:MEAS ") + name)) {
        return out.result();
    }
    // A printer destination received from the instrument goes back unchanged.
    if (!out.sendWord(":DATA:COPY:MEDI ", W::CopyDst, s.CopyDst, QStringLiteral("CopyDst")))
        return out.result();
    if (!out.send(DataItemText(s)))
        return out.result();
    if (!out.send(s.Wave ? QStringLiteral(":DATA:WAVE ON") : QStringLiteral(":DATA:WAVE OFF")))
        return out.result();
    if (!out.send(s.Harm ? QStringLiteral(":DATA:HARM ON") : QStringLiteral(":DATA:HARM OFF")))
        return out.result();
    if (!out.send(s.THDType == 0 ? QStringLiteral(":THD F") : QStringLiteral(":THD R")))
        return out.result();
    if (!out.sendWord(":BACK ", W::BL, s.BL, QStringLiteral("BL")))
        return out.result();
    if (!out.send(s.Beep == 1 ? QStringLiteral(":BEEP ON") : QStringLiteral(":BEEP OFF")))
        return out.result();
    if (!out.send(QStringLiteral("ID") + BlankForm(s.ID)))
        return out.result();
    if (!out.sendWord(":LANG ", W::Lang, s.Lang, QStringLiteral("Lang")))
        return out.result();

    if ((inputs.checkAdjust ? inputs.checkAdjust() : 0) != 1)
        return out.result();
    // One reading gives date and time together, so a send at midnight cannot mix two days.
    const QDateTime now = inputs.clock ? inputs.clock() : QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    out.send(QStringLiteral(":CLOCK %1,%2,%3,%4,%5,%6")
                 .arg(d.year())
                 .arg(d.month())
                 .arg(d.day())
                 .arg(t.hour())
                 .arg(t.minute())
                 .arg(t.second()));
    return out.result();
}
