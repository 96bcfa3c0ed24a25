#include "FrmMeas.h"

#include "Link.h"

#include <QCloseEvent>

FrmMeas::FrmMeas(Link& link, QWidget* parent)
    : QMainWindow(parent), m_link(link), m_lifetime(this)
{
    setObjectName(QStringLiteral("FrmMeas"));
    setWindowTitle(QStringLiteral("MEASURE"));
}

void FrmMeas::open()
{
    FormLifetime::Scope scope(m_lifetime);
    if (!m_lifetime.unloading())
        show();
}

void FrmMeas::closeEvent(QCloseEvent* event)
{
    event->accept();
    m_lifetime.unload();
}
