#include "SimConfig.h"

#include "SimSettingsCommands.h"

namespace {

bool takeInt(const QStringList& args, int& i, int* value, QString* error)
{
    if (i + 1 >= args.size()) {
        *error = QStringLiteral("%1 needs a value").arg(args[i]);
        return false;
    }
    bool ok = false;
    *value = args[++i].toInt(&ok);
    if (!ok || *value < 0) {
        *error = QStringLiteral("%1 needs a whole number of 0 or more, not %2")
                     .arg(args[i - 1], args[i]);
        return false;
    }
    return true;
}

} // namespace

SimConfig SimConfig::fromOptions(const QStringList& args)
{
    SimConfig c;
    QString error;
    if (!c.parse(args, &error))
        qFatal("kestrel-sim options: %s", qPrintable(error));
    return c;
}

bool SimConfig::parse(const QStringList& args, QString* error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--baud")) {
            if (!takeInt(args, i, &baud, error))
                return false;
        } else if (a == QLatin1String("--reply-delay")) {
            if (!takeInt(args, i, &replyDelayMs, error))
                return false;
        } else if (a == QLatin1String("--modem")) {
            modem = true;
        } else if (a == QLatin1String("--dial-delay")) {
            if (!takeInt(args, i, &dialDelayMs, error))
                return false;
        } else if (a == QLatin1String("--busy-number") && i + 1 < args.size()) {
            busyNumbers << args[++i];
        } else if (a == QLatin1String("--no-carrier-number") && i + 1 < args.size()) {
            noCarrierNumbers << args[++i];
        } else if (a == QLatin1String("--meas-items")) {
            if (!takeInt(args, i, &measItems, error))
                return false;
        } else if (a == QLatin1String("--meas-delay")) {
            if (!takeInt(args, i, &measDelayMs, error))
                return false;
        } else if (a == QLatin1String("--meas-text") && i + 1 < args.size()) {
            const QString t = args[++i];
            const qsizetype eq = t.indexOf(QLatin1Char('='));
            if (eq <= 0 || eq == t.size() - 1) {
                *error = QStringLiteral("--meas-text needs ITEM=TEXT, not %1").arg(t);
                return false;
            }
            measTexts.insert(t.left(eq).toLatin1(), t.mid(eq + 1).toLatin1());
        } else if (a == QLatin1String("--no-card")) {
            noCard = true;
        } else if (a == QLatin1String("--delete-delay")) {
            if (!takeInt(args, i, &deleteDelayMs, error))
                return false;
        } else if (a == QLatin1String("--fault") && i + 1 < args.size()) {
            SimFault f;
            if (!SimFault::parse(args[++i], &f, error))
                return false;
            faults.push_back(f);
        } else {
            *error = QStringLiteral("unknown option or missing value: %1").arg(a);
            return false;
        }
    }
    return true;
}

QString SimConfig::help()
{
    return QStringLiteral(R"(Usage: kestrel-sim [options]

A simulated Kestrel clamp-on power meter on a pseudo-terminal. It prints the device path on
its first line of output, links it as comN in a dosdevices folder, and serves until it is
ended. Each command line ends in CR LF (a lone LF is accepted too); each reply is one line
ending in CR LF, except the binary block of :CARD:PICK? and :MEM:PICK?.

  -h, --help              show this help and end
  --version               show the version and end

Port:
  --com N                 link the pseudo-terminal as comN (default 1)
  --dosdevices DIR        folder of the comN link (default $XDG_CONFIG_HOME/pqlink/dosdevices)
  --log FILE              append every line received to FILE, one a line without CR LF
  --baud B                pace sending and reading at B bits per second, 10 bits a byte
                          (default 0: unpaced)
  --reply-delay MS        wait MS milliseconds before every reply (default 0)

Modem (a Hayes modem in front of the instrument):
  --modem                 answer AT commands: "OK" to every AT command, "ERROR" to other lines;
                          ATD<number> answers "CONNECT 9600" after the dial delay, then the
                          line goes to the instrument until the port is closed (the modem
                          hangs up when the program closes the port)
  --dial-delay MS         time from ATD to its answer (default 2000)
  --busy-number N         ATD N answers "BUSY" (repeatable)
  --no-carrier-number N   ATD N answers "NO CARRIER" (repeatable)

Measurement:
  --meas-items N          items in a :MEAS? reply (default: those of the wiring and circuits)
  --meas-delay MS         time the instrument takes to answer :MEAS? (default 0)
  --meas-text ITEM=TEXT   the item ITEM answers TEXT instead of its number, as an instrument
                          shows "-----" or "OVER" (repeatable), e.g. --meas-text "CH1 PF=-----"
  :HEAD ON, :HEAD OFF     names before the values in :MEAS?, or values only (the default);
                          :HEAD? answers "ON" or "OFF"
  :TRAN:SEP 1|2|3         item separator of :MEAS?: 1 ";" (the default), 2 ",", 3 TAB
  :MEAS?                  the voltages U1.., per circuit CHc I1.., CHc P, Q, S, PF, then f;
                          beyond those (--meas-items) "HARM n"; values drift a little with
                          every measurement
  :DISP:MODE MEAS         "ALL RIGHT"; any other mode "PARAMETER ERROR"
  :STAT?                  recording state: 0 stopped, 1 waiting for a timed start, 2 running
  :START                  starts recording: at once with the start method MANUAL, otherwise
                          waiting (1) until the start time (TIME) or the next whole minute
                          (JUST); "EXECUTE ERROR" when already recording
  :STOP                   stops recording (also a waiting start); "ALL RIGHT"

Stored files:
  --no-card               no PC card: the card's list queries answer "EXECUTE ERROR"
  --delete-delay MS       time taken by :CARD:DEL and :MEM:FORM (default 500)
  The card and the memory hold files of each kind (MEAS, INST, BMP, WAVE; the memory has no
  INST files) of 0 bytes to 20 MB; their bytes are computed from medium, name and position.
  :CARD:FILE? KIND, :MEM:FILE? KIND   "name,size,name,size..." or "NO FILES"
  :CARD:PICK? name, start, end        a byte 0x02, bytes start to end (1-based), a byte 0x03
  :CARD:DEL name, :MEM:FORM           "ALL RIGHT" after the delete delay

)") + SimSettingsCommands::help() +
           QStringLiteral(R"(
Faults (repeatable):
  --fault KIND,WORD,N[,ARG]
                          change the N-th reply to command WORD ("*": the N-th reply of all),
                          e.g. --fault truncate,:CARD:PICK?,3 or --fault drop,aaa,1
                          KIND is one of
                            drop      no reply
                            delay     the reply comes ARG ms late (default 6000)
                            truncate  the reply loses its second half
                            lengthen  ARG bytes "#" (default 5) follow the reply
                            garble    the middle third of the reply is scrambled
                            hangup    the line drops: with --modem "NO CARRIER" and the modem
                                      is back in command mode; direct, nothing more is answered
                            refuse    the reply is "EXECUTE ERROR"

Replies of our own (the instrument's manual does not define them):
  "COMMAND ERROR"         a command word the instrument does not know (also the answer to the
                          connection test "aaa")
  "PARAMETER ERROR"       a setting command whose value the instrument refuses; a file
                          query of another kind; a block outside the file, with its end
                          before its start, or longer than 65536 bytes
  "EXECUTE ERROR"         a stored-file command for a file that does not exist, or for the
                          card with --no-card
)");
}
