#pragma once

#include "MessageService.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Replaces the message boxes while it lives: records every box and answers questions from a
// script (Yes when the script is empty).
class ScriptedMessages final : public MessageService
{
public:
    struct Shown
    {
        Kind kind;
        QString text;
    };

    ScriptedMessages();
    ~ScriptedMessages() override;

    // Records the box; what follows it runs from the event loop, as after a real box.
    void open(Kind kind, const QString& text, QObject* context, Then then) override;

    void answer(bool yes) { m_answers.append(yes); }
    // Runs while the box is open, before it is answered (e.g. to close a window).
    void onShow(std::function<void(const Shown&)> f) { m_onShow = std::move(f); }

    const QList<Shown>& shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }

private:
    QList<Shown> m_shown;
    QList<bool> m_answers;
    std::function<void(const Shown&)> m_onShow;
};
