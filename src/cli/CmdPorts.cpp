#include "CliOutput.h"
#include "CliSession.h"
#include "Commands.h"
#include "PortResolver.h"

#include <QFileInfo>

int RunPorts(CliSession& session)
{
    for (int n = 1; n <= 8; ++n) {
        const QString device = PortResolver::resolve(n);
        if (!session.print(
                CliOutput::portLine(n, device, !device.isEmpty() && QFileInfo::exists(device))))
            break;
    }
    return Exit::Done;
}
