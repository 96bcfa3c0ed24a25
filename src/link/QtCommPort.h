#pragma once

#include "CommPort.h"

#include <functional>

class QSerialPort;

// CommPort over QSerialPort. No flow control: software flow control would swallow the
// 0x11 and 0x13 bytes of a binary block, and the instrument link uses none.
class QtCommPort : public CommPort
{
    Q_OBJECT
public:
    // resolver maps a port number to a device; PortResolver::resolve by default.
    explicit QtCommPort(QObject* parent = nullptr, std::function<QString(int)> resolver = {});
    ~QtCommPort() override;

    bool open(QString* error) override;
    void close() override;
    bool isOpen() const override;
    void write(const QByteArray& bytes) override;
    qint64 bytesWaiting() const override;
    void discardInput() override;
    QByteArray read(qint64 maxBytes) override;
    QString deviceName(int n) const override;

private:
    void onError();

    QSerialPort* m_port;
    std::function<QString(int)> m_resolver;
};
