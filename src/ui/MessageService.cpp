#include "MessageService.h"

#include <QCoreApplication>
#include <QPointer>

#include <cstdio>

namespace {

class StderrMessages final : public MessageService
{
public:
    void open(Kind, const QString& text, QObject* context, Then then) override
    {
        std::fprintf(stderr, "pqlink: %s\n", qPrintable(text));
        if (!then)
            return;
        // Answered "No" from the event loop, as a box closed at once would be.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard = QPointer<QObject>(context), hasContext = context != nullptr,
             then = std::move(then)] {
                if (!hasContext || guard)
                    then(false);
            },
            Qt::QueuedConnection);
    }
};

StderrMessages g_stderr;
MessageService* g_default = &g_stderr;
MessageService* g_installed = nullptr;

} // namespace

MessageService& MessageService::instance()
{
    return g_installed ? *g_installed : *g_default;
}

void MessageService::install(MessageService* service)
{
    g_installed = service;
}

void MessageService::setDefault(MessageService* service)
{
    g_default = service ? service : &g_stderr;
}
