#pragma once

#include "SimConfig.h"
#include "SimState.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>

#include <functional>
#include <vector>

// What the simulated instrument sends back: bytes, due delayMs after the line that caused
// them was received. The port delivers outputs in order, never one before the previous.
struct SimOutput
{
    int delayMs = 0;
    QByteArray bytes;
};

// The instrument's reply to one command line.
struct SimReply
{
    QByteArray bytes; // CR LF included (binary replies as they are)
    int delayMs = 0;
    bool none = false; // the command has no reply

    static SimReply line(const QByteArray& text, int delayMs = 0)
    {
        return {text + "\r\n", delayMs};
    }
};

// The simulated Kestrel: its state and command interpreter, bytes in and bytes out, no I/O.
// Command words are matched without regard to case and to a leading colon; each subsystem
// registers the commands it serves (SimLinkCommands, SimSettingsCommands, ...).
class SimInstrument
{
public:
    using Handler = std::function<SimReply(SimInstrument&, const QByteArray& args)>;

    static constexpr const char* UnknownCommand = "COMMAND ERROR";
    static constexpr const char* BadParameter = "PARAMETER ERROR";

    explicit SimInstrument(SimConfig config = {});

    // Bytes from the program; returns what goes back.
    std::vector<SimOutput> receive(const QByteArray& bytes);
    // The program closed the port: a modem hangs up, a half-received line is forgotten.
    void hangup();

    void addCommand(const QByteArray& word, Handler handler);

    SimConfig& config() { return m_config; }
    SimState& state() { return m_state; }
    // Every command line received (without CR LF), modem commands included, while keeping
    // them is on. Off by default: a simulator serving for days must not grow with its traffic.
    void keepLines(bool on) { m_keepLines = on; }
    const QList<QByteArray>& lines() const { return m_lines; }
    void clearLines() { m_lines.clear(); }
    bool modemConnected() const { return m_modemConnected; }

    // The instrument's clock (the computer's clock plus the offset set by ":CLOCK").
    QDateTime now() const;
    void setClock(const QDateTime& instrumentTime);

    static QByteArray normalizeWord(const QByteArray& word);

private:
    std::vector<SimOutput> handleLine(const QByteArray& line);
    std::vector<SimOutput> handleModem(const QByteArray& line);
    // A reply to a command word, after the faults configured for it.
    std::vector<SimOutput> answer(const QByteArray& word, SimOutput out);
    SimReply dispatch(const QByteArray& line, const QByteArray& word);

    SimConfig m_config;
    SimState m_state;
    QHash<QByteArray, Handler> m_commands;
    QHash<QByteArray, int> m_answered; // replies given per command word that a fault names
    int m_answeredAll = 0;
    QByteArray m_pending;
    QList<QByteArray> m_lines;
    bool m_keepLines = false;
    bool m_modemConnected = false;
    bool m_silent = false; // after a hang-up fault on a direct line
    qint64 m_clockOffsetSecs = 0;
};
