#pragma once

class CliSession;
struct CliCommand;

// One function a command group; each returns the exit status.
int RunPorts(CliSession& session);
int RunSettings(CliSession& session);
int RunMeasure(CliSession& session);
int RunRecord(CliSession& session);
int RunFiles(CliSession& session);
