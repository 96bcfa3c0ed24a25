#pragma once

#include "CliArgs.h"
#include "Conversation.h"
#include "MessageService.h"

#include <QObject>
#include <QString>

#include <memory>

class QtCommPort;
class QSocketNotifier;
class QEventLoop;

// Exit statuses of pqlink-cli.
namespace Exit {
inline constexpr int Done = 0;
inline constexpr int Usage = 1;
inline constexpr int Port = 2;
inline constexpr int Refused = 3;
inline constexpr int Timeout = 4;
inline constexpr int LocalFile = 5;
inline constexpr int Interrupted = 130;
} // namespace Exit

// One run of pqlink-cli: the port and the link, standard output, the messages of the
// procedures on stderr, and SIGINT/SIGTERM. A signal only writes a byte to a pipe; the event
// loop then closes the port so the waiting transaction ends and nothing more is sent.
class CliSession : public QObject, private MessageService
{
    Q_OBJECT
public:
    explicit CliSession(const CliCommand& command);
    ~CliSession() override;

    const CliCommand& command() const { return m_command; }
    Link& link() { return *m_link; }

    // Opens the port and runs the connection test or dials; an exit status.
    int connect();

    // A line on stdout; false once stdout is closed (the reader went away).
    bool print(const QString& line);
    bool stdoutClosed() const { return m_stdoutClosed; }
    // One line on stderr, prefixed with the program's name.
    static void error(const QString& text);

    bool interrupted() const { return m_interrupted; }
    StopRequest stopRequest() const
    {
        return [this] { return m_interrupted; };
    }
    // Waits up to ms while events run; ends early on a signal.
    void wait(int ms);

    // The exit status of a conversation that did not complete, its line written to stderr
    // (unless the procedure has reported it itself); Done when it completed.
    int failure(const Outcome& outcome, const QString& what, bool reported = false);

private:
    bool show(Kind kind, const QString& text) override;
    void onSignal();

    CliCommand m_command;
    std::unique_ptr<QtCommPort> m_port;
    std::unique_ptr<Link> m_link;
    QSocketNotifier* m_signals = nullptr;
    QEventLoop* m_wait = nullptr;
    bool m_interrupted = false;
    bool m_stdoutClosed = false;
};
