#include "SimInstrument.h"

#include "SimFileCommands.h"
#include "SimLinkCommands.h"
#include "SimMeasureCommands.h"
#include "SimSettingsCommands.h"

#include <algorithm>

SimInstrument::SimInstrument(SimConfig config) : m_config(std::move(config))
{
    SimLinkCommands::install(*this);
    SimSettingsCommands::install(*this);
    SimMeasureCommands::install(*this);
    SimFileCommands::install(*this);
}

QByteArray SimInstrument::normalizeWord(const QByteArray& word)
{
    QByteArray w = word.toUpper();
    if (w.startsWith(':'))
        w.remove(0, 1);
    return w;
}

void SimInstrument::addCommand(const QByteArray& word, Handler handler)
{
    m_commands.insert(normalizeWord(word), std::move(handler));
}

QDateTime SimInstrument::now() const
{
    return QDateTime::currentDateTime().addSecs(m_clockOffsetSecs);
}

void SimInstrument::setClock(const QDateTime& instrumentTime)
{
    m_clockOffsetSecs = QDateTime::currentDateTime().secsTo(instrumentTime);
}

void SimInstrument::hangup()
{
    m_pending.clear();
    m_modemConnected = false;
    m_silent = false;
}

std::vector<SimOutput> SimInstrument::receive(const QByteArray& bytes)
{
    std::vector<SimOutput> out;
    m_pending.append(bytes);
    // A line ends with LF (CR LF from the program); a lone CR ends a modem command too.
    for (;;) {
        qsizetype end = m_pending.indexOf('\n');
        const qsizetype cr = m_pending.indexOf('\r');
        const bool modemMode = m_config.modem && !m_modemConnected;
        if (modemMode && cr >= 0 && (end < 0 || cr < end))
            end = cr;
        if (end < 0)
            break;
        QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue; // the LF after a modem command's CR, or a blank line: no command
        const auto replies = modemMode ? handleModem(line) : handleLine(line);
        out.insert(out.end(), replies.begin(), replies.end());
    }
    // A line that never ends must not grow without bound.
    if (m_pending.size() > 64 * 1024)
        m_pending.clear();
    return out;
}

std::vector<SimOutput> SimInstrument::handleModem(const QByteArray& line)
{
    if (m_keepLines)
        m_lines.append(line);
    const QByteArray upper = line.trimmed().toUpper();
    if (!upper.startsWith("AT"))
        return {{0, "ERROR\r\n"}};
    if (upper.startsWith("ATD")) {
        QByteArray number = line.trimmed().mid(3);
        if (number.startsWith('T') || number.startsWith('P') || number.startsWith('t') ||
            number.startsWith('p'))
            number.remove(0, 1);
        const QString n = QString::fromLatin1(number);
        if (m_config.busyNumbers.contains(n))
            return {{m_config.dialDelayMs, "BUSY\r\n"}};
        if (m_config.noCarrierNumbers.contains(n))
            return {{m_config.dialDelayMs, "NO CARRIER\r\n"}};
        m_modemConnected = true;
        // The dial's answer takes faults like an instrument reply (word "ATD").
        std::vector<SimOutput> out = answer("ATD", {m_config.dialDelayMs, "CONNECT 9600\r\n"});
        if (out.empty() || !out.front().bytes.contains("CONNECT"))
            m_modemConnected = false;
        return out;
    }
    return {{0, "OK\r\n"}};
}

std::vector<SimOutput> SimInstrument::handleLine(const QByteArray& line)
{
    if (m_keepLines)
        m_lines.append(line);
    if (m_silent)
        return {};
    const qsizetype blank = line.indexOf(' ');
    const QByteArray word = normalizeWord(blank < 0 ? line : line.left(blank));
    SimReply reply = dispatch(line, word);
    if (reply.none)
        return {};
    return answer(word, {m_config.replyDelayMs + reply.delayMs, reply.bytes});
}

std::vector<SimOutput> SimInstrument::answer(const QByteArray& word, SimOutput out)
{
    ++m_answeredAll;
    // Only the words a fault names are counted: garbage on the line must not grow the table.
    const bool named =
        std::any_of(m_config.faults.begin(), m_config.faults.end(), [&](const SimFault& f) {
            return f.word != "*" && normalizeWord(f.word) == word;
        });
    const int nth = named ? ++m_answered[word] : 0;
    for (const SimFault& f : m_config.faults) {
        const bool any = f.word == "*";
        if (any ? f.occurrence != m_answeredAll
                : (normalizeWord(f.word) != word || f.occurrence != nth))
            continue;
        out.bytes = f.apply(out.bytes, &out.delayMs);
        if (f.kind == SimFault::Kind::Hangup) {
            if (m_config.modem) {
                m_modemConnected = false;
                return {{out.delayMs, "\r\nNO CARRIER\r\n"}};
            }
            m_silent = true;
            return {};
        }
        if (f.kind == SimFault::Kind::Drop)
            return {};
    }
    return {out};
}

SimReply SimInstrument::dispatch(const QByteArray& line, const QByteArray& word)
{
    const auto it = m_commands.constFind(word);
    if (it == m_commands.constEnd())
        return SimReply::line(UnknownCommand);
    const qsizetype blank = line.indexOf(' ');
    const QByteArray args = blank < 0 ? QByteArray() : line.mid(blank + 1);
    return it.value()(*this, args);
}
