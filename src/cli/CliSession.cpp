#include "CliSession.h"

#include "CliOutput.h"
#include "QtCommPort.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignalRaised(int)
{
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
    errno = saved;
}

} // namespace

CliSession::CliSession(const CliCommand& command) : m_command(command)
{
    // Writing to a closed pipe must give EPIPE, not end the program mid-transaction.
    std::signal(SIGPIPE, SIG_IGN);
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action = {};
        action.sa_handler = onSignalRaised;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    if (g_signalPipe[0] >= 0) {
        m_signals = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        QObject::connect(m_signals, &QSocketNotifier::activated, this, &CliSession::onSignal);
    }

    const QString device = m_command.devicePath;
    std::function<QString(int)> resolver;
    if (!device.isEmpty())
        resolver = [device](int) { return device; };
    m_session =
        std::make_unique<InstrumentSession>(std::make_unique<QtCommPort>(nullptr, resolver));
    // A message the user would close in the windows goes to stderr, and the job goes on.
    m_session->setMessageHandler([](Job& job, MessageKind, const QString& text) {
        error(CliOutput::oneLine(text));
        job.resume();
    });
}

CliSession::~CliSession() = default;

void CliSession::start(std::function<Task<Exit>(CliSession&, Job&)> command)
{
    m_session->submit<Exit>(
        this, [this, command](Job& job) { return command(*this, job); },
        [](Exit status) { QCoreApplication::exit(int(status)); });
}

Task<Exit> CliSession::connect(Job& job)
{
    ConnectRequest request;
    request.port = m_command.portNumber;
    request.settings = QStringLiteral("%1,n,8,1").arg(m_command.baud);
    request.modem = m_command.modem;
    request.init = m_command.modemInit.toLatin1();
    request.number = m_command.modemNumber.toLatin1();
    // The connection flow of the windows, run inside this command's job.
    const ConnectOutcome out = co_await m_session->connectFlow(job, request);
    QString text = out.error;
    switch (out.status) {
    case ConnectOutcome::Status::Connected:
        co_return Exit::Done;
    case ConnectOutcome::Status::OpenFailed:
        // A device path stands for itself, not for a COM port.
        if (!m_command.devicePath.isEmpty())
            text.replace(QStringLiteral("COM1 (%1)").arg(m_command.devicePath),
                         m_command.devicePath);
        error(CliOutput::oneLine(text));
        co_return Exit::Port;
    case ConnectOutcome::Status::NoAnswer:
        break;
    }
    const QString where = m_command.devicePath.isEmpty()
                              ? QStringLiteral("COM%1 (%2)")
                                    .arg(m_command.portNumber)
                                    .arg(m_session->port().deviceName(m_command.portNumber))
                              : m_command.devicePath;
    if (m_command.modem)
        error(QStringLiteral("the modem on %1 did not connect to %2 (last reply: %3)")
                  .arg(where, m_command.modemNumber,
                       CliOutput::oneLine(QString::fromLatin1(out.lastReply))));
    else
        error(QStringLiteral("the connection test failed: no answer from the instrument on %1")
                  .arg(where));
    co_return Exit::Port;
}

bool CliSession::print(const QString& line)
{
    if (m_stdoutClosed)
        return false;
    const QByteArray bytes = line.toUtf8() + '\n';
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()) ||
        std::fflush(stdout) != 0) {
        m_stdoutClosed = true;
        return false;
    }
    return true;
}

void CliSession::error(const QString& text)
{
    std::fprintf(stderr, "pqlink-cli: %s\n", qPrintable(text));
    std::fflush(stderr);
}

Exit CliSession::failure(const Outcome& outcome, const QString& what, bool reported)
{
    if (!outcome.failed())
        return Exit::Done;
    if (!reported)
        error(QStringLiteral("%1: %2").arg(what, FailureText(outcome)));
    // No reply, a busy link or a reply that cannot answer the command: no valid answer came.
    return Exit::Timeout;
}

void CliSession::onSignal()
{
    char buf[16];
    while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
    }
    if (m_interrupted)
        return;
    m_interrupted = true;
    // Nothing more goes out: the command's job is cancelled and the port closed.
    m_session->shutdown();
    QCoreApplication::exit(int(m_interruptStatus));
}
