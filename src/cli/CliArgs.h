#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The command line of pqlink-cli as a value: parsed without touching the port or a file.

enum class CliAction
{
    Help,
    Version,
    Ports,
    SettingsGet,
    SettingsSet,
    Measure,
    RecordStart,
    RecordStop,
    RecordStatus,
    FilesList,
    FilesGet,
    FilesDelete,
    MemoryFormat,
    Serve
};

struct CliCommand
{
    CliAction action = CliAction::Help;

    // The link: COMn (portNumber) or a device path (devicePath, portNumber 1).
    int portNumber = 1;
    QString devicePath;
    int baud = 9600;
    bool modem = false;
    QString modemNumber;
    QString modemInit = QStringLiteral("AT");

    bool json = false;
    QString file;       // settings set: FILE, "-" for stdin
    bool clock = false; // settings set --clock
    int count = 1;      // measure: 0 until interrupted
    int intervalMs = 1000;
    QString logPath;     // measure --log
    bool memory = false; // files: the internal memory instead of the PC card
    QStringList names;   // files get / delete
    QString directory = QStringLiteral(".");
    bool restart = false;
    bool overwrite = false;
    QStringList serveArgs; // serve: every argument but the word, for its own parser

    bool needsLink() const
    {
        return action != CliAction::Help && action != CliAction::Version &&
               action != CliAction::Ports;
    }
};

struct CliParse
{
    std::optional<CliCommand> command;
    QString error; // when there is no command: what is wrong, for one line on stderr
};

// args without the program's name.
CliParse ParseCliArgs(const QStringList& args);
QString CliUsage();
