#pragma once

#include "CliArgs.h"
#include "Conversation.h"
#include "InstrumentSession.h"

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

// Exit statuses of pqlink-cli.
enum class Exit
{
    Done = 0,
    Usage = 1,
    Port = 2,
    Refused = 3,
    Timeout = 4,
    LocalFile = 5,
    ListenInUse = 6,
    Interrupted = 130
};

// One run of pqlink-cli: the instrument session over the real port, standard output, the
// jobs' messages on stderr, and SIGINT/SIGTERM. The command runs as one job of the session;
// a signal only writes a byte to a pipe, and the event loop then cancels the job, closes the
// port and ends the program, so nothing more is sent.
class CliSession : public QObject
{
    Q_OBJECT
public:
    explicit CliSession(const CliCommand& command);
    ~CliSession() override;

    const CliCommand& command() const { return m_command; }
    InstrumentSession& session() { return *m_session; }

    // The exit status of SIGINT and SIGTERM (serve's is Done: a service manager's stop).
    void setInterruptStatus(Exit status) { m_interruptStatus = status; }

    // Runs the command: its exit status ends the application's event loop.
    void start(std::function<Task<Exit>(CliSession&, Job&)> command);

    // Opens the port and runs the connection test or dials; an exit status.
    Task<Exit> connect(Job& job);

    // A line on stdout; false once stdout is closed (the reader went away).
    bool print(const QString& line);
    bool stdoutClosed() const { return m_stdoutClosed; }
    // One line on stderr, prefixed with the program's name.
    static void error(const QString& text);

    // The exit status of a conversation that did not complete, its line written to stderr
    // (unless the job has shown it itself); Done when it completed.
    Exit failure(const Outcome& outcome, const QString& what, bool reported = false);

private:
    void onSignal();

    CliCommand m_command;
    std::unique_ptr<InstrumentSession> m_session;
    QSocketNotifier* m_signals = nullptr;
    bool m_interrupted = false;
    Exit m_interruptStatus = Exit::Interrupted;
    bool m_stdoutClosed = false;
};
