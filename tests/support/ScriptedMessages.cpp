#include "ScriptedMessages.h"

ScriptedMessages::ScriptedMessages()
{
    MessageService::install(this);
}

ScriptedMessages::~ScriptedMessages()
{
    MessageService::install(nullptr);
}

bool ScriptedMessages::show(Kind kind, const QString& text)
{
    m_shown.append({kind, text});
    if (m_onShow)
        m_onShow(m_shown.back());
    if (kind != Kind::Question)
        return true;
    return m_answers.isEmpty() ? m_defaultAnswer : m_answers.takeFirst();
}

QStringList ScriptedMessages::texts() const
{
    QStringList out;
    for (const Shown& s : m_shown)
        out << s.text;
    return out;
}
