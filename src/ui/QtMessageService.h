#pragma once

#include "MessageService.h"

// Message boxes on screen, application-modal, under the program's name. Opened without a
// nested event loop: whatever follows a box runs from its finished signal.
class QtMessageService final : public MessageService
{
public:
    void open(Kind kind, const QString& text, QObject* context, Then then) override;
};
