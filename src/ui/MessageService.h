#pragma once

#include "MessageKind.h"

#include <QObject>
#include <QString>

#include <functional>

// Every message box of the windows goes through here, so tests can script the answers and
// read the texts. A box is opened and the call returns at once: what follows the box runs
// when the user has closed it, and not at all when its context object is gone by then. The
// title is always the program's name.
class MessageService
{
public:
    using Kind = MessageKind;
    // answer: true for OK or Yes, false for No.
    using Then = std::function<void(bool answer)>;

    virtual ~MessageService() = default;

    virtual void open(Kind kind, const QString& text, QObject* context, Then then) = 0;

    static void plain(const QString& text) { instance().open(Kind::Plain, text, nullptr, {}); }
    static void warning(const QString& text) { instance().open(Kind::Warning, text, nullptr, {}); }
    static void critical(const QString& text)
    {
        instance().open(Kind::Critical, text, nullptr, {});
    }
    // A question with Yes and No; then gets the answer.
    static void ask(const QString& text, QObject* context, Then then)
    {
        instance().open(Kind::Question, text, context, std::move(then));
    }

    static MessageService& instance();
    // Installs a service (not owned); nullptr restores the default.
    static void install(MessageService* service);
    // Installed by the program's widgets at start-up; before that, messages go to stderr.
    static void setDefault(MessageService* service);

    static QString title() { return QStringLiteral("pqlink"); }
};
