#pragma once

#include <QString>

// Every message box of the program goes through here, so tests can script the answers and
// read the texts. The title is always the program's name.
class MessageService
{
public:
    enum class Kind
    {
        Plain,    // no icon, OK
        Warning,  // warning icon, OK
        Critical, // critical icon, OK
        Question  // no icon, Yes and No
    };

    virtual ~MessageService() = default;

    // Shows the box; returns true for OK or Yes, false for No.
    virtual bool show(Kind kind, const QString& text) = 0;

    static void plain(const QString& text) { instance().show(Kind::Plain, text); }
    static void warning(const QString& text) { instance().show(Kind::Warning, text); }
    static void critical(const QString& text) { instance().show(Kind::Critical, text); }
    static bool askYesNo(const QString& text) { return instance().show(Kind::Question, text); }

    static MessageService& instance();
    // Installs a service (not owned); nullptr restores the default.
    static void install(MessageService* service);
    // Installed by the program's widgets at start-up; before that, messages go to stderr.
    static void setDefault(MessageService* service);

    static QString title() { return QStringLiteral("pqlink"); }
};
