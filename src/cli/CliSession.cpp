#include "CliSession.h"

#include "CliOutput.h"
#include "Connect.h"
#include "Link.h"
#include "QtCommPort.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

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
    m_port = std::make_unique<QtCommPort>(nullptr, resolver);
    m_port->setCommPort(m_command.portNumber);
    m_port->setSettings(QStringLiteral("%1,n,8,1").arg(m_command.baud));
    m_link = std::make_unique<Link>(*m_port);
    MessageService::install(this);
}

CliSession::~CliSession()
{
    MessageService::install(nullptr);
    m_link.reset();
    m_port.reset();
}

int CliSession::connect()
{
    QString text;
    if (!m_port->open(&text)) {
        // A device path stands for itself, not for a COM port.
        if (!m_command.devicePath.isEmpty())
            text.replace(QStringLiteral("COM1 (%1)").arg(m_command.devicePath),
                         m_command.devicePath);
        error(CliOutput::oneLine(text));
        return Exit::Port;
    }
    const QString where = m_command.devicePath.isEmpty()
                              ? QStringLiteral("COM%1 (%2)")
                                    .arg(m_command.portNumber)
                                    .arg(m_port->deviceName(m_command.portNumber))
                              : m_command.devicePath;
    if (m_command.modem) {
        if (ConnectModem(*m_link, m_command.modemInit.toLatin1(),
                         m_command.modemNumber.toLatin1()) != 0) {
            if (m_interrupted)
                return Exit::Interrupted;
            error(QStringLiteral("the modem on %1 did not connect to %2 (last reply: %3)")
                      .arg(where, m_command.modemNumber,
                           CliOutput::oneLine(QString::fromLatin1(m_link->Recv()))));
            return Exit::Port;
        }
    } else if (ConnectDirect(*m_link) != Link::ResultComplete) {
        if (m_interrupted)
            return Exit::Interrupted;
        error(QStringLiteral("the connection test failed: no answer from the instrument on %1")
                  .arg(where));
        return Exit::Port;
    }
    m_link->setConnectStat(-1);
    return Exit::Done;
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

void CliSession::wait(int ms)
{
    if (m_interrupted)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    m_wait = &loop;
    loop.exec();
    m_wait = nullptr;
}

int CliSession::failure(const Outcome& outcome, const QString& what, bool reported)
{
    if (m_interrupted)
        return Exit::Interrupted;
    if (!outcome.failed())
        return Exit::Done;
    if (!reported)
        error(QStringLiteral("%1: %2").arg(what, FailureText(outcome)));
    // No reply, a busy link or a reply that cannot answer the command: no valid answer came.
    return Exit::Timeout;
}

bool CliSession::show(Kind, const QString& text)
{
    // After a signal the procedures' own abort messages would only repeat the interruption.
    if (!m_interrupted)
        error(CliOutput::oneLine(text));
    return false;
}

void CliSession::onSignal()
{
    char buf[16];
    while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
    }
    if (m_interrupted)
        return;
    m_interrupted = true;
    // Nothing more goes out: the port is closed and a transaction that waits ends at once.
    m_port->close();
    m_link->shutdown();
    if (m_wait)
        m_wait->quit();
}
