#include "ScriptedMessages.h"

#include <QCoreApplication>
#include <QPointer>

ScriptedMessages::ScriptedMessages()
{
    MessageService::install(this);
}

ScriptedMessages::~ScriptedMessages()
{
    MessageService::install(nullptr);
}

void ScriptedMessages::open(Kind kind, const QString& text, QObject* context, Then then)
{
    m_shown.append({kind, text});
    const bool answer = kind != Kind::Question || m_answers.isEmpty() || m_answers.takeFirst();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, shown = m_shown.back(), guard = QPointer<QObject>(context),
         hasContext = context != nullptr, then = std::move(then), answer] {
            if (m_onShow)
                m_onShow(shown);
            if (then && (!hasContext || guard))
                then(answer);
        },
        Qt::QueuedConnection);
}

QStringList ScriptedMessages::texts() const
{
    QStringList out;
    for (const Shown& s : m_shown)
        out << s.text;
    return out;
}
