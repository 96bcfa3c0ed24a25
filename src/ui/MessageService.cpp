#include "MessageService.h"

#include <cstdio>

namespace {

class StderrMessages final : public MessageService
{
public:
    bool show(Kind, const QString& text) override
    {
        std::fprintf(stderr, "pqlink: %s\n", qPrintable(text));
        return false;
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
