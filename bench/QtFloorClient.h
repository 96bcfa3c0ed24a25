#pragma once

#include <QByteArray>
#include <QSerialPort>
#include <QString>

// The floor of any design that keeps a window alive on one thread: a minimal event-driven
// client, QSerialPort and a local QEventLoop per exchange woken by readyRead or a time-out
// timer, and nothing of the program.
class QtFloorClient
{
public:
    explicit QtFloorClient(const QString& device);
    bool isOpen() const { return m_port.isOpen(); }

    // Writes the line with CR LF and waits for the reply up to and including its LF.
    QByteArray exchange(const QByteArray& line);
    // Writes the request line and waits for exactly count bytes.
    QByteArray exchangeBlock(const QByteArray& line, qsizetype count);

private:
    // count < 0: a line ending in LF.
    QByteArray transact(const QByteArray& line, qsizetype count);

    QSerialPort m_port;
};
