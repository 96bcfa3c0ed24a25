#pragma once

#include "FormLifetime.h"

#include <QWidget>

class Link;

// The download window.
class FrmDload : public QWidget
{
    Q_OBJECT
public:
    explicit FrmDload(Link& link, QWidget* parent = nullptr);

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
