#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "InstrumentSession.h"

#include <functional>
#include <optional>

class QWidget;

namespace TestUtil {

// A control's caption without its mnemonic marker.
QString caption(const QWidget* w);
// The lines of a byte stream written to the port, each without its CR LF.
QList<QByteArray> lines(const QByteArray& written);
// The lines written or received, each without its line end.
using Lines = QList<QByteArray>;
// A file's bytes, or missing when it cannot be read.
QByteArray fileBytes(const QString& path, const QByteArray& missing = {});
// Writes bytes as the whole file; false when it could not.
bool writeFile(const QString& path, const QByteArray& bytes);
// Runs the event loop until pred() holds or timeoutMs passes; returns pred().
bool waitFor(const std::function<bool()>& pred, int timeoutMs = 5000);
// Runs f once the current handler has returned to the event loop (after delayMs).
void later(int delayMs, std::function<void()> f);

// Runs make(job) as a job of session and returns its result, or nothing when it had not
// finished within timeoutMs.
template <class R>
std::optional<R> runJob(InstrumentSession& session, std::function<Task<R>(Job&)> make,
                        int timeoutMs = 120000)
{
    std::optional<R> result;
    session.submit<R>(nullptr, std::move(make), [&result](R r) { result = std::move(r); });
    waitFor([&result] { return result.has_value(); }, timeoutMs);
    return result;
}

// One transaction as a job of its own, as another window's job would run it; a reply with
// InvalidRange when it had not ended within timeoutMs + 5 s.
Link::Reply transact(InstrumentSession& session, const QByteArray& command, int timeoutMs = 1000,
                     Link::Mode mode = Link::Mode::Line);

} // namespace TestUtil
