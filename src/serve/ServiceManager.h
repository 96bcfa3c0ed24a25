#pragma once

// What a service manager is told (systemd's sd_notify); nothing without one, or on a build
// without libsystemd.
namespace ServiceManager {

// Listening, and the first port open tried.
void ready();
void stopping();
// Feeds the watchdog: call from the event loop, so a stuck loop stops feeding it.
void watchdog();
// How often to feed it, in ms; 0 when no watchdog is set.
int watchdogIntervalMs();

} // namespace ServiceManager
