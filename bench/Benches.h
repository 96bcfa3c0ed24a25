#pragma once

#include "SimProcess.h"

#include <QStringList>

#include <memory>

// The benchmark groups; bench_main runs those asked for.
namespace bench {

// kestrel-sim with these options. With PQBENCH_CPUS="B,S" this process runs on CPU B and
// the simulator on CPU S from here on.
std::unique_ptr<SimProcess> startSim(const QStringList& options);

// bench_windows.cpp: the program's own windows against the simulator.
void downloadPaced();
void repeatResponsiveness();
void repeatSoak();

} // namespace bench
