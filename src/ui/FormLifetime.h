#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Keeps a window alive while any of its handlers runs. A handler that may wait (in a
// transaction, a message box or a loop) opens a Scope first. Unloading hides the window and
// tells its loops to stop at once, but the window is destroyed only when its last running
// handler has returned; before, a handler suspended in a nested event loop would resume on
// freed memory. deleteLater() alone does not help: posted from inside the nested loop it
// runs there, still under the suspended handler.
class FormLifetime
{
public:
    class Scope
    {
    public:
        explicit Scope(FormLifetime& life);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        FormLifetime& m_life;
    };

    // onUnload sets the window's stop flags (RepeatStop, Closing, ...).
    explicit FormLifetime(QWidget* window, std::function<void()> onUnload = {});

    // Hides the window, runs onUnload, and destroys the window now or after its last handler.
    void unload();
    bool unloading() const { return m_unloading; }
    int running() const { return m_running; }

private:
    void destroy();

    QWidget* m_window;
    std::function<void()> m_onUnload;
    int m_running = 0;
    bool m_unloading = false;
};
