#include "QtFloorClient.h"

#include <QEventLoop>
#include <QTimer>

QtFloorClient::QtFloorClient(const QString& device)
{
    m_port.setPortName(device);
    m_port.setBaudRate(38400);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (m_port.open(QIODevice::ReadWrite))
        m_port.clear();
}

QByteArray QtFloorClient::exchange(const QByteArray& line)
{
    return transact(line, -1);
}

QByteArray QtFloorClient::exchangeBlock(const QByteArray& line, qsizetype count)
{
    return transact(line, count);
}

QByteArray QtFloorClient::transact(const QByteArray& line, qsizetype count)
{
    QByteArray reply;
    const auto complete = [&] { return count < 0 ? reply.endsWith('\n') : reply.size() >= count; };
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto connection = QObject::connect(&m_port, &QSerialPort::readyRead, &loop, [&] {
        reply += m_port.readAll();
        if (complete())
            loop.quit();
    });
    m_port.write(line + "\r\n");
    timeout.start(5000);
    loop.exec();
    QObject::disconnect(connection);
    return reply;
}
