#include "FrmDload.h"

#include "Link.h"

#include <QCloseEvent>

FrmDload::FrmDload(Link& link, QWidget* parent) : QWidget(parent), m_link(link), m_lifetime(this)
{
    setObjectName(QStringLiteral("FrmDload"));
    setWindowTitle(QStringLiteral("DOWNLOAD"));
}

void FrmDload::open()
{
    FormLifetime::Scope scope(m_lifetime);
    if (!m_lifetime.unloading())
        show();
}

void FrmDload::closeEvent(QCloseEvent* event)
{
    event->accept();
    m_lifetime.unload();
}
