#pragma once

#include "Task.h"

class CliSession;
class Job;

// One coroutine a command group, run as the command's job; each gives the exit status.
Task<int> RunPorts(CliSession& session, Job& job);
Task<int> RunSettings(CliSession& session, Job& job);
Task<int> RunMeasure(CliSession& session, Job& job);
Task<int> RunRecord(CliSession& session, Job& job);
Task<int> RunFiles(CliSession& session, Job& job);
