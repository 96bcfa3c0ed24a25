#pragma once

#include "FormLifetime.h"

#include <QMainWindow>

class Link;

// The measurement window.
class FrmMeas : public QMainWindow
{
    Q_OBJECT
public:
    explicit FrmMeas(Link& link, QWidget* parent = nullptr);

    // The opening steps, then the window is shown (unless it was unloaded meanwhile).
    void open();
    void unload() { m_lifetime.unload(); }
    FormLifetime& lifetime() { return m_lifetime; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Link& m_link;
    FormLifetime m_lifetime;
};
