#include "TestUtil.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace TestUtil {

QByteArray fileBytes(const QString& path, const QByteArray& missing)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : missing;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString caption(const QWidget* w)
{
    QString text;
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        text = b->text();
    else if (auto* l = qobject_cast<const QLabel*>(w))
        text = l->text();
    // "&&" stands for a literal "&".
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

QList<QByteArray> lines(const QByteArray& written)
{
    QList<QByteArray> out = written.split('\n');
    if (!out.isEmpty() && out.back().isEmpty())
        out.removeLast();
    for (QByteArray& l : out)
        if (l.endsWith('\r'))
            l.chop(1);
    return out;
}

bool waitFor(const std::function<bool()>& pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred() && !deadline.hasExpired())
        QTest::qWait(5);
    return pred();
}

void later(int delayMs, std::function<void()> f)
{
    QTimer::singleShot(delayMs, std::move(f));
}

namespace {

Task<Link::Reply> one(Job& job, QByteArray command, int timeoutMs, Link::Mode mode)
{
    co_return co_await job.transact(command, timeoutMs, mode);
}

} // namespace

Link::Reply transact(InstrumentSession& session, const QByteArray& command, int timeoutMs,
                     Link::Mode mode)
{
    return runJob<Link::Reply>(
               session, [=](Job& job) { return one(job, command, timeoutMs, mode); },
               int(std::min<qint64>(qint64(timeoutMs) + 5000, INT_MAX)))
        .value_or(Link::Reply{Link::Result::InvalidRange, {}});
}

} // namespace TestUtil
