#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The serial port as the program uses it: a port number, a settings string such as
// "9600,n,8,1", open and close with an error text, and byte I/O with a receive notification.
// One implementation drives a real port, another an in-process peer for tests.
class CommPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~CommPort() override = default;

    void setCommPort(int number) { m_commPort = number; }
    int commPort() const { return m_commPort; }
    void setSettings(const QString& settings) { m_settings = settings; }
    QString settings() const { return m_settings; }

    // Opens the port; on failure returns false and sets *error to a text for the user.
    virtual bool open(QString* error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Writes all bytes in order; nothing happens when the port is closed.
    virtual void write(const QByteArray& bytes) = 0;
    // Bytes received and not read yet (InBufferCount).
    virtual qint64 bytesWaiting() const = 0;
    // Discards everything received and not read yet.
    virtual void discardInput() = 0;
    // Reads up to maxBytes received bytes, unchanged.
    virtual QByteArray read(qint64 maxBytes) = 0;
    // The device that port number n stands for (empty when none), for display.
    virtual QString deviceName(int n) const = 0;

    // Baud rate of the settings string, 0 when it has none.
    int baudRate() const;

signals:
    // Raised after bytes have arrived. Handlers must only read and decide: no nested loops.
    void received();
    // The port went away underneath us (adapter unplugged).
    void lost(const QString& reason);

private:
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
};
