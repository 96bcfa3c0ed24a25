#pragma once

#include "FormLifetime.h"

#include <QDialog>

class Link;

// The settings dialog, shown modally from the measurement window.
class DlgSettings : public QDialog
{
    Q_OBJECT
public:
    explicit DlgSettings(Link& link, QWidget* parent = nullptr);

    void unload() { m_lifetime.unload(); }
    FormLifetime& lifetime() { return m_lifetime; }

private:
    Link& m_link;
    FormLifetime m_lifetime;
};
