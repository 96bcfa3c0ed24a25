#include "ServiceManager.h"

#ifdef PQ_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace ServiceManager {

#ifdef PQ_HAVE_SYSTEMD
void ready()
{
    sd_notify(0, "READY=1");
}

void stopping()
{
    sd_notify(0, "STOPPING=1");
}

void watchdog()
{
    sd_notify(0, "WATCHDOG=1");
}

int watchdogIntervalMs()
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0)
        return 0;
    // Twice per period, as systemd advises.
    return int(usec / 2000);
}
#else
void ready() {}
void stopping() {}
void watchdog() {}
int watchdogIntervalMs()
{
    return 0;
}
#endif

} // namespace ServiceManager
