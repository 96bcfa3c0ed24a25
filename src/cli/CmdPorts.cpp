#include "CliOutput.h"
#include "CliSession.h"
#include "Commands.h"
#include "PortResolver.h"

#include <QFileInfo>

Task<Exit> RunPorts(CliSession& session, Job&)
{
    for (int n = 1; n <= 8; ++n) {
        const QString device = PortResolver::resolve(n);
        if (!session.print(
                CliOutput::portLine(n, device, !device.isEmpty() && QFileInfo::exists(device))))
            break;
    }
    co_return Exit::Done;
}
