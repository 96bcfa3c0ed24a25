#include "FormLifetime.h"

#include <QWidget>

FormLifetime::Scope::Scope(FormLifetime& life) : m_life(life)
{
    ++m_life.m_running;
}

FormLifetime::Scope::~Scope()
{
    if (--m_life.m_running == 0 && m_life.m_unloading)
        m_life.destroy();
}

FormLifetime::FormLifetime(QWidget* window, std::function<void()> onUnload)
    : m_window(window), m_onUnload(std::move(onUnload))
{
}

void FormLifetime::unload()
{
    if (m_unloading)
        return;
    m_unloading = true;
    m_window->hide();
    if (m_onUnload)
        m_onUnload();
    if (m_running == 0)
        destroy();
}

void FormLifetime::destroy()
{
    // No handler of this window is on the stack any more; the deferred delete runs when
    // control is back in an event loop, after the caller of the last handler has returned.
    m_window->deleteLater();
}
