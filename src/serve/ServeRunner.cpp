#include "ServeRunner.h"

#include "ServiceManager.h"

#include <QSaveFile>

#include <cstdio>

namespace {

ServeWatcher::Options watchOptions(const ServeConfig& c)
{
    ServeWatcher::Options o;
    o.request.port = c.portNumber;
    o.request.settings = QStringLiteral("%1,n,8,1").arg(c.baud);
    o.portName = c.port;
    o.intervalMs = c.intervalMs;
    return o;
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

} // namespace

ServeRunner::ServeRunner(InstrumentSession& session, const ServeConfig& config,
                         const QString& version, QObject* parent)
    : QObject(parent), m_config(config), m_version(version),
      m_board(std::make_shared<MetricsBoard>()), m_http(std::make_unique<MetricsHttp>(m_board)),
      m_watcher(session, watchOptions(config))
{
    if (!m_config.metricMap)
        m_config.metricMap = std::make_shared<MetricMap>();
    connect(&m_watcher, &ServeWatcher::stateChanged, this, [this] {
        publish();
        writeTextFile();
    });
    connect(&m_watcher, &ServeWatcher::firstOpenTried, this, [] { ServiceManager::ready(); });
    if (const int ms = ServiceManager::watchdogIntervalMs(); ms > 0) {
        connect(&m_watchdog, &QTimer::timeout, this, [] { ServiceManager::watchdog(); });
        m_watchdog.start(ms);
    }
}

ServeRunner::~ServeRunner()
{
    ServiceManager::stopping();
    m_http->stop();
}

ServeRunner::Start ServeRunner::start(QString* error)
{
    publish();
    const ListenSocket socket = m_http->start(m_config.listenAddress, m_config.listenPort);
    const QString where =
        QStringLiteral("%1:%2").arg(m_config.listenAddress).arg(m_config.listenPort);
    if (socket.status == ListenSocket::Status::InUse) {
        *error = QStringLiteral("--listen %1: the address is in use").arg(where);
        return Start::InUse;
    }
    if (socket.status != ListenSocket::Status::Open) {
        *error = QStringLiteral("--listen %1: %2").arg(where, socket.error);
        return Start::BadAddress;
    }
    if (!m_config.portFile.isEmpty() &&
        !writeAtomically(m_config.portFile, QByteArray::number(socket.port) + '\n', error))
        return Start::PortFile;
    std::fprintf(stderr, "pqlink-cli: serving http://%s:%u/metrics for %s\n",
                 qPrintable(m_config.listenAddress.contains(QLatin1Char(':'))
                                ? QLatin1Char('[') + m_config.listenAddress + QLatin1Char(']')
                                : m_config.listenAddress),
                 unsigned(socket.port), qPrintable(m_config.port));
    std::fflush(stderr);
    m_watcher.start();
    return Start::Serving;
}

void ServeRunner::publish()
{
    const WatchState& s = m_watcher.state();
    auto page = std::make_shared<MetricsBoard::Page>();
    page->stale = WriteExposition(s, *m_config.metricMap, false, m_version);
    if (s.lastPollOk) {
        page->fresh = WriteExposition(s, *m_config.metricMap, true, m_version);
        page->freshUntil =
            m_watcher.lastSuccessSteady() + std::chrono::milliseconds(m_config.staleAfterMs);
    }
    m_board->publish(std::move(page));
}

void ServeRunner::writeTextFile()
{
    if (m_config.textfile.isEmpty())
        return;
    const WatchState& s = m_watcher.state();
    const bool fresh = s.lastPollOk && std::chrono::steady_clock::now() <
                                           m_watcher.lastSuccessSteady() +
                                               std::chrono::milliseconds(m_config.staleAfterMs);
    QString error;
    const bool ok = writeAtomically(m_config.textfile,
                                    WriteExposition(s, *m_config.metricMap, fresh, m_version,
                                                    {{QStringLiteral("id"), m_config.id}}),
                                    &error);
    // Said once, not at every poll.
    if (!ok && error != m_textError)
        std::fprintf(stderr, "pqlink-cli: %s\n", qPrintable(error));
    m_textError = ok ? QString() : error;
}
