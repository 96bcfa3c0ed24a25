#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The floor every link figure is measured against: a minimal raw termios client doing the
// same exchanges over the same kind of pseudo-terminal, with blocking reads and no event loop.
class RawClient
{
public:
    explicit RawClient(const QString& device);
    ~RawClient();
    bool isOpen() const { return m_fd >= 0; }

    // Writes the line with CR LF and reads up to and including the next LF.
    QByteArray exchange(const QByteArray& line);
    // Writes the request line and reads exactly count bytes.
    QByteArray exchangeBlock(const QByteArray& line, int count);

private:
    bool writeAll(const QByteArray& bytes);
    QByteArray transact(const QByteArray& line,
                        const std::function<bool(const QByteArray&)>& complete);
    int m_fd = -1;
};
