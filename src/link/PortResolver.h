#pragma once

#include <QString>
#include <QStringList>

// Maps the program's port numbers (COM1..COM8) to devices. On Windows COMn is the port
// itself. Elsewhere COMn is the link "comN" in the dosdevices folder when it exists (the
// convention Wine users know), otherwise the n-th serial device in Wine's order.
class PortResolver
{
public:
    // $XDG_CONFIG_HOME/pqlink/dosdevices, or ~/.config/pqlink/dosdevices.
    static QString dosdevicesDir();
    // Serial devices present, in Wine's order: ttyS*, then ttyUSB*, then ttyACM*.
    static QStringList serialDevices(const QString& devDir = QStringLiteral("/dev"));
    // The device for COMn (n from 1); empty when there is none.
    static QString resolve(int n);
    static QString resolve(int n, const QString& dosdevices, const QStringList& devices);
    // A user-facing reason for an open failure, naming the device.
    static QString openErrorText(int n, const QString& device, const QString& reason,
                                 bool permissionDenied);
};
