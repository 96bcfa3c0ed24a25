#include "QtCommPort.h"

#include "PortResolver.h"

#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <unistd.h>
#endif

QtCommPort::QtCommPort(QObject* parent, std::function<QString(int)> resolver)
    : CommPort(parent), m_port(new QSerialPort(this)), m_resolver(std::move(resolver))
{
    if (!m_resolver)
        m_resolver = [](int n) { return PortResolver::resolve(n); };
    connect(m_port, &QSerialPort::readyRead, this, &CommPort::received);
    connect(m_port, &QSerialPort::errorOccurred, this, &QtCommPort::onError);
}

QtCommPort::~QtCommPort()
{
    // Closing on the way out sends nothing; a modem sees DTR drop and hangs up.
    if (m_port->isOpen())
        m_port->close();
}

QString QtCommPort::deviceName(int n) const
{
    return m_resolver(n);
}

bool QtCommPort::open(QString* error)
{
    if (m_port->isOpen())
        m_port->close();
    const QString device = deviceName(commPort());
    if (device.isEmpty()) {
        if (error)
            *error = PortResolver::openErrorText(commPort(), device, {}, false);
        return false;
    }
    m_port->setPortName(device);
    m_port->setBaudRate(baudRate() > 0 ? baudRate() : 9600);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite)) {
        if (error) {
            const bool denied = m_port->error() == QSerialPort::PermissionError;
            QString reason = m_port->errorString();
            if (m_port->error() == QSerialPort::DeviceNotFoundError)
                reason = QStringLiteral("the device does not exist");
            else if (denied)
                reason = QStringLiteral("permission denied (") + reason + QLatin1Char(')');
            else if (reason.isEmpty())
                reason = QStringLiteral("unknown error");
            *error = PortResolver::openErrorText(commPort(), device, reason, denied);
        }
        return false;
    }
    // Bytes that arrived before we opened are stale: drop them.
    m_port->clear(QSerialPort::AllDirections);
    return true;
}

void QtCommPort::close()
{
    if (m_port->isOpen())
        m_port->close();
}

bool QtCommPort::isOpen() const
{
    return m_port->isOpen();
}

void QtCommPort::write(const QByteArray& bytes)
{
    if (!m_port->isOpen())
        return;
#ifdef Q_OS_UNIX
    // A command line fits the driver's buffer: write it straight to the device, which saves
    // QSerialPort arming its write notifier (and the event-loop passes that go with it) in
    // every transaction. Whatever the driver does not take goes the buffered way.
    if (m_port->bytesToWrite() == 0) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(int(m_port->handle()), bytes.constData() + done,
                                      size_t(bytes.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        if (done < bytes.size())
            m_port->write(bytes.mid(done));
        return;
    }
#endif
    m_port->write(bytes);
    // Hand the bytes to the driver now rather than on the next pass of the event loop.
    m_port->flush();
}

qint64 QtCommPort::bytesWaiting() const
{
    return m_port->isOpen() ? m_port->bytesAvailable() : 0;
}

void QtCommPort::discardInput()
{
    if (!m_port->isOpen())
        return;
    // Both what QSerialPort has buffered already and what the driver holds.
    if (m_port->bytesAvailable() > 0)
        m_port->readAll();
#ifdef Q_OS_UNIX
    // Flushing a pseudo-terminal waits for the kernel's pending buffer work, which costs
    // every transaction a wake-up; when the driver holds nothing there is nothing to flush.
    int waiting = 0;
    if (::ioctl(int(m_port->handle()), FIONREAD, &waiting) == 0 && waiting == 0)
        return;
#endif
    m_port->clear(QSerialPort::Input);
}

QByteArray QtCommPort::read(qint64 maxBytes)
{
    // Never read when nothing waits: a zero-length read can stall reception on Qt 6.4.
    if (!m_port->isOpen() || m_port->bytesAvailable() <= 0)
        return {};
    return m_port->read(maxBytes);
}

void QtCommPort::onError()
{
    switch (m_port->error()) {
    case QSerialPort::NoError:
    case QSerialPort::UnsupportedOperationError: // line signals on a pseudo-terminal
    case QSerialPort::TimeoutError:
        return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError: {
        // The adapter was unplugged, or the line hung up (reads end at once with nothing):
        // the port is gone.
        const QString reason = m_port->errorString();
        m_port->clearError();
        if (m_port->isOpen())
            m_port->close();
        emit lost(reason);
        return;
    }
    default:
        // Framing, parity and similar line errors are not reported to the user.
        return;
    }
}
