#include "CliArgs.h"

#include "ServeConfig.h"

#include <QHash>

#include <cmath>

namespace {

// Options that take a value, by every spelling.
const QHash<QString, QString>& valueOptions()
{
    static const QHash<QString, QString> options{
        {QStringLiteral("-p"), QStringLiteral("--port")},
        {QStringLiteral("--port"), QStringLiteral("--port")},
        {QStringLiteral("-b"), QStringLiteral("--baud")},
        {QStringLiteral("--baud"), QStringLiteral("--baud")},
        {QStringLiteral("--modem"), QStringLiteral("--modem")},
        {QStringLiteral("--init"), QStringLiteral("--init")},
        {QStringLiteral("--count"), QStringLiteral("--count")},
        {QStringLiteral("--interval"), QStringLiteral("--interval")},
        {QStringLiteral("--log"), QStringLiteral("--log")},
        {QStringLiteral("-d"), QStringLiteral("-d")},
    };
    return options;
}

const QStringList& flagOptions()
{
    static const QStringList flags{
        QStringLiteral("--help"),    QStringLiteral("-h"),          QStringLiteral("--version"),
        QStringLiteral("--json"),    QStringLiteral("--clock"),     QStringLiteral("--memory"),
        QStringLiteral("--restart"), QStringLiteral("--overwrite"), QStringLiteral("--yes")};
    return flags;
}

const QStringList& globalOptions()
{
    static const QStringList global{QStringLiteral("--port"), QStringLiteral("--baud"),
                                    QStringLiteral("--modem"), QStringLiteral("--init")};
    return global;
}

// The command-specific options each command accepts.
QStringList allowedOptions(CliAction action)
{
    switch (action) {
    case CliAction::SettingsGet:
        return {QStringLiteral("--json")};
    case CliAction::SettingsSet:
        return {QStringLiteral("--clock")};
    case CliAction::Measure:
        return {QStringLiteral("--count"), QStringLiteral("--interval"), QStringLiteral("--log"),
                QStringLiteral("--json")};
    case CliAction::FilesList:
        return {QStringLiteral("--memory")};
    case CliAction::FilesGet:
        return {QStringLiteral("--memory"), QStringLiteral("-d"), QStringLiteral("--restart"),
                QStringLiteral("--overwrite")};
    case CliAction::MemoryFormat:
        return {QStringLiteral("--yes")};
    default:
        return {};
    }
}

CliParse fail(const QString& error)
{
    return {std::nullopt, error};
}

} // namespace

CliParse ParseCliArgs(const QStringList& args)
{
    // serve has options of its own (and a config file): everything but its word goes to
    // its parser, options before the word included.
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--"))
            break;
        if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            if (valueOptions().contains(a))
                ++i;
            continue;
        }
        if (a != QLatin1String("serve"))
            break;
        CliCommand c;
        c.action = CliAction::Serve;
        c.serveArgs = args;
        c.serveArgs.removeAt(i);
        return {c, {}};
    }
    QHash<QString, QString> values;
    QStringList flags;
    QStringList words;
    bool optionsEnd = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnd || a == QLatin1String("-") || !a.startsWith(QLatin1Char('-'))) {
            words << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        QString name = a;
        std::optional<QString> value;
        if (const qsizetype eq = a.indexOf(QLatin1Char('='));
            a.startsWith(QLatin1String("--")) && eq > 0) {
            name = a.left(eq);
            value = a.mid(eq + 1);
        }
        if (valueOptions().contains(name)) {
            if (!value) {
                if (i + 1 >= args.size())
                    return fail(QStringLiteral("option %1 needs a value").arg(name));
                value = args[++i];
            }
            values.insert(valueOptions().value(name), *value);
        } else if (flagOptions().contains(name) && !value) {
            flags << (name == QLatin1String("-h") ? QStringLiteral("--help") : name);
        } else {
            return fail(QStringLiteral("unknown option %1").arg(a));
        }
    }

    CliCommand c;
    if (flags.contains(QLatin1String("--help")))
        return {c, {}};
    if (flags.contains(QLatin1String("--version"))) {
        c.action = CliAction::Version;
        return {c, {}};
    }
    if (words.isEmpty())
        return fail(QStringLiteral("no command given"));

    const QString cmd = words.takeFirst();
    const QString sub = words.isEmpty() ? QString() : words.first();
    const auto takeSub = [&words] { words.removeFirst(); };
    if (cmd == QLatin1String("ports")) {
        c.action = CliAction::Ports;
    } else if (cmd == QLatin1String("settings") && sub == QLatin1String("get")) {
        takeSub();
        c.action = CliAction::SettingsGet;
    } else if (cmd == QLatin1String("settings") && sub == QLatin1String("set")) {
        takeSub();
        c.action = CliAction::SettingsSet;
        if (words.size() != 1)
            return fail(QStringLiteral("settings set needs one FILE (or - for standard input)"));
        c.file = words.takeFirst();
    } else if (cmd == QLatin1String("measure")) {
        c.action = CliAction::Measure;
    } else if (cmd == QLatin1String("record") && sub == QLatin1String("start")) {
        takeSub();
        c.action = CliAction::RecordStart;
    } else if (cmd == QLatin1String("record") && sub == QLatin1String("stop")) {
        takeSub();
        c.action = CliAction::RecordStop;
    } else if (cmd == QLatin1String("record") && sub == QLatin1String("status")) {
        takeSub();
        c.action = CliAction::RecordStatus;
    } else if (cmd == QLatin1String("files") && sub == QLatin1String("list")) {
        takeSub();
        c.action = CliAction::FilesList;
    } else if (cmd == QLatin1String("files") && sub == QLatin1String("get")) {
        takeSub();
        c.action = CliAction::FilesGet;
        if (words.isEmpty())
            return fail(QStringLiteral("files get needs at least one file NAME"));
        c.names = words;
        words.clear();
    } else if (cmd == QLatin1String("files") && sub == QLatin1String("delete")) {
        takeSub();
        c.action = CliAction::FilesDelete;
        if (words.size() != 1)
            return fail(QStringLiteral("files delete needs one file NAME"));
        c.names = words;
        words.clear();
    } else if (cmd == QLatin1String("memory") && sub == QLatin1String("format")) {
        takeSub();
        c.action = CliAction::MemoryFormat;
    } else {
        return fail(
            QStringLiteral("unknown command %1").arg((cmd + QLatin1Char(' ') + sub).trimmed()));
    }
    if (!words.isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(words.first()));

    const QStringList allowed = allowedOptions(c.action);
    for (const QString& f : flags)
        if (!allowed.contains(f))
            return fail(QStringLiteral("option %1 does not apply to %2").arg(f, cmd));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        if (!allowed.contains(it.key()) && !globalOptions().contains(it.key()))
            return fail(QStringLiteral("option %1 does not apply to %2").arg(it.key(), cmd));

    if (values.contains(QStringLiteral("--port"))) {
        const QString port = values.value(QStringLiteral("--port"));
        bool ok = false;
        const int n = port.mid(3).toInt(&ok);
        if (port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) && ok && n >= 1 && n <= 8 &&
            port.size() == 4) {
            c.portNumber = n;
        } else if (port.contains(QLatin1Char('/'))) {
            c.devicePath = port;
        } else {
            return fail(
                QStringLiteral("port %1 is neither COM1..COM8 nor a device path").arg(port));
        }
    }
    if (values.contains(QStringLiteral("--baud"))) {
        const QString baud = values.value(QStringLiteral("--baud"));
        if (baud != QLatin1String("9600") && baud != QLatin1String("19200") &&
            baud != QLatin1String("38400"))
            return fail(QStringLiteral("baud rate %1 is not 9600, 19200 or 38400").arg(baud));
        c.baud = baud.toInt();
    }
    if (values.contains(QStringLiteral("--modem"))) {
        c.modem = true;
        c.modemNumber = values.value(QStringLiteral("--modem"));
        if (c.modemNumber.isEmpty())
            return fail(QStringLiteral("--modem needs a phone number"));
    }
    if (values.contains(QStringLiteral("--init"))) {
        if (!c.modem)
            return fail(QStringLiteral("--init applies only with --modem"));
        c.modemInit = values.value(QStringLiteral("--init"));
    }
    if (values.contains(QStringLiteral("--count"))) {
        bool ok = false;
        c.count = values.value(QStringLiteral("--count")).toInt(&ok);
        if (!ok || c.count < 0)
            return fail(QStringLiteral("--count takes a whole number, 0 or more"));
    }
    if (values.contains(QStringLiteral("--interval"))) {
        bool ok = false;
        const double seconds = values.value(QStringLiteral("--interval")).toDouble(&ok);
        if (!ok || !(seconds >= 0.1) || seconds > 86400)
            return fail(QStringLiteral("--interval takes seconds from 0.1 to 86400"));
        c.intervalMs = int(std::lround(seconds * 1000));
    }
    c.logPath = values.value(QStringLiteral("--log"));
    if (values.contains(QStringLiteral("-d")))
        c.directory = values.value(QStringLiteral("-d"));
    c.json = flags.contains(QLatin1String("--json"));
    c.clock = flags.contains(QLatin1String("--clock"));
    c.memory = flags.contains(QLatin1String("--memory"));
    c.restart = flags.contains(QLatin1String("--restart"));
    c.overwrite = flags.contains(QLatin1String("--overwrite"));
    if (c.action == CliAction::MemoryFormat && !flags.contains(QLatin1String("--yes")))
        return fail(QStringLiteral("memory format erases every stored file: confirm with --yes"));
    return {c, {}};
}

QString CliUsage()
{
    return QStringLiteral(
               R"(Usage: pqlink-cli [-p PORT] [-b BAUD] [--modem NUMBER [--init TEXT]] COMMAND [ARGS]
Remote control of the Kestrel power meter over RS-232C, on the same core as pqlink.

  -p, --port PORT    COM1..COM8, resolved exactly as the windows resolve them, or a device path; default COM1
  -b, --baud BAUD    9600 (default), 19200 or 38400
  --modem NUMBER     dial first, as the Modem connection does (init string default "AT")
  --init TEXT        the modem's initialisation string
  --version, --help

COMMANDS
  ports                          COM1..COM8, the device each stands for, whether it exists
  settings get [--json]          receive every setting (the 33 queries) and print one NAME=VALUE line each
  settings set FILE|- [--clock]  receive, apply the NAME=VALUE lines of FILE, then send as SEND does
                                 (and ":CLOCK" with --clock); refusals listed on stderr
  measure [--count N] [--interval SECONDS] [--log FILE] [--json]
                                 one measurement, or N (0: until interrupted) at the interval; CSV on
                                 stdout: a header row "time,<item names>", then one row per measurement
                                 with an ISO-8601 local time; --log appends to FILE exactly as the
                                 measurement window appends to data.log
  record start|stop|status       the instrument's recording; status prints STOP, WAIT or RUN
  files list [--memory]          one "NAME<TAB>SIZE" line per file
  files get NAME... [--memory] [-d DIR] [--restart] [--overwrite]
                                 download, continuing a shorter local copy unless --restart;
                                 a progress line on stderr when stderr is a terminal
  files delete NAME              delete a PC-card file
  memory format --yes            format the internal memory
  serve [OPTIONS]                watch the instrument for Prometheus and MQTT (SERVE below)

DETAILS
  settings   Names are the record's fields (Wiring, CirNum, Sens[1]..Sens[4], IRange[1].., CT[1].., VT,
             ...); a list setting takes the text its list in the settings dialog shows, blanks trimmed
             (Wiring=1P3W, CirNum=x2, Sens[2]=FLX-5k, IRange[2]=5k), case ignored; a code the list has
             no item for reads "#code" and is sent back unchanged. Numbers in the plain form, flags 0
             or 1. Blank lines and lines starting with "#" are skipped. A sensor/range or
             wiring/count pair the file changes that the dialog would correct is refused; a
             pair left as received is sent back as received.
  measure    --interval is in seconds, fractions allowed, at least 0.1 (default 1); the run keeps the
             interval from one measurement's start to the next. --json prints one JSON object a
             measurement instead of CSV.
  record     start when already recording, and stop when stopped, only print the state.
  files get  A shorter local copy is continued; one as long as the stored file or longer is
             refused (exit 5) unless --overwrite or --restart, which start afresh. Saved into DIR
             (default: the current directory) under the instrument's name.
  SIGINT and SIGTERM end the transaction under way at once (a download keeps its correct
  prefix, which the next files get completes) and exit 130. A closed standard output ends quietly.

EXIT STATUS
  0 done; 1 usage or input error; 2 the port cannot be opened or the connection test fails;
  3 the instrument refused a command; 4 a time-out; 5 a local file error; 6 serve's listen
  address is in use; 130 interrupted.

)") + ServeUsage();
}
