#include "PortResolver.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

QString PortResolver::dosdevicesDir()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/pqlink/dosdevices");
}

QStringList PortResolver::serialDevices(const QString& devDir)
{
    QDir dir(devDir);
    QStringList result;
    // Sorted by the number after the prefix, so ttyS10 comes after ttyS9.
    for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
        const QString p = QString::fromLatin1(prefix);
        QStringList names = dir.entryList({p + QStringLiteral("*")}, QDir::System | QDir::Files);
        static const QRegularExpression digits(QStringLiteral("^\\d+$"));
        names.erase(std::remove_if(names.begin(), names.end(),
                                   [&](const QString& n) {
                                       return !digits.match(n.mid(p.size())).hasMatch();
                                   }),
                    names.end());
        std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
            return a.mid(p.size()).toInt() < b.mid(p.size()).toInt();
        });
        for (const QString& n : names)
            result << dir.filePath(n);
    }
    return result;
}

QString PortResolver::resolve(int n)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    return resolve(n, dosdevicesDir(), serialDevices());
#endif
}

QString PortResolver::resolve(int n, const QString& dosdevices, const QStringList& devices)
{
    const QString link = dosdevices + QStringLiteral("/com%1").arg(n);
    QFileInfo info(link);
    if (info.isSymLink() || info.exists())
        return info.isSymLink() ? info.symLinkTarget() : link;
    if (n >= 1 && n <= devices.size())
        return devices.at(n - 1);
    return {};
}

QString PortResolver::openErrorText(int n, const QString& device, const QString& reason,
                                    bool permissionDenied)
{
    if (device.isEmpty())
        return QStringLiteral("COM%1 is not present: no link com%1 in %2 and no serial device "
                              "number %1 on this computer.")
            .arg(n)
            .arg(dosdevicesDir());
    QString text = QStringLiteral("COM%1 (%2) cannot be opened: %3.").arg(n).arg(device, reason);
    if (permissionDenied) {
        const QString group = QFileInfo(device).group();
        text += QStringLiteral("\nYour user must be a member of the group '%1' that owns the "
                               "device (for example: sudo adduser $USER %1); log out and in "
                               "again for it to take effect.")
                    .arg(group.isEmpty() ? QStringLiteral("dialout") : group);
    }
    return text;
}
