#pragma once

#include "MessageService.h"

// Message boxes on screen, modal, under the program's name.
class QtMessageService final : public MessageService
{
public:
    bool show(Kind kind, const QString& text) override;
};
