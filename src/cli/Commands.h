#pragma once

#include "Task.h"

class CliSession;
class Job;

// One coroutine a command group, run as the command's job; each gives the exit status.
Task<Exit> RunPorts(CliSession& session, Job& job);
Task<Exit> RunSettings(CliSession& session, Job& job);
Task<Exit> RunMeasure(CliSession& session, Job& job);
Task<Exit> RunRecord(CliSession& session, Job& job);
Task<Exit> RunFiles(CliSession& session, Job& job);

struct ServeConfig;
// serve is no single job: it runs the watch loop until a signal ends the event loop.
Exit RunServe(CliSession& session, const ServeConfig& config);
