#include "TestUtil.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QTimer>

namespace TestUtil {

QString caption(const QWidget* w)
{
    QString text;
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        text = b->text();
    else if (auto* l = qobject_cast<const QLabel*>(w))
        text = l->text();
    else if (auto* g = qobject_cast<const QGroupBox*>(w))
        text = g->title();
    else if (w)
        text = w->windowTitle();
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

PauseRecorder::PauseRecorder(InstrumentSession& session) : m_session(session)
{
    m_session.setPauseLength([this](int ms) {
        pauses.append(ms);
        return 0;
    });
}

PauseRecorder::~PauseRecorder()
{
    m_session.setPauseLength({});
}

} // namespace TestUtil
