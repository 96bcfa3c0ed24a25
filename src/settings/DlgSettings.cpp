#include "DlgSettings.h"

#include "Link.h"

DlgSettings::DlgSettings(Link& link, QWidget* parent)
    : QDialog(parent), m_link(link), m_lifetime(this, [this] { reject(); })
{
    setObjectName(QStringLiteral("DlgSettings"));
    setWindowTitle(QStringLiteral("SETTINGS"));
    setModal(true);
}
