#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class QWidget;

namespace TestUtil {

// A control's caption without its mnemonic marker.
QString caption(const QWidget* w);
// The lines of a byte stream written to the port, each without its CR LF.
QList<QByteArray> lines(const QByteArray& written);
// Runs the event loop until pred() holds or timeoutMs passes; returns pred().
bool waitFor(const std::function<bool()>& pred, int timeoutMs = 5000);
// Runs f once the current handler has returned to the event loop (after delayMs).
void later(int delayMs, std::function<void()> f);

// Records the blocking pauses instead of sleeping, while it lives.
class PauseRecorder
{
public:
    PauseRecorder();
    ~PauseRecorder();
    QList<int> pauses;
};

} // namespace TestUtil
