// Every kind of line fault against every conversation, through the window-free procedures
// over the in-process simulator: the outcome, nothing corrupted, and the link usable after.

#include "Conversation.h"
#include "FileCommands.h"
#include "FileDownload.h"
#include "Link.h"
#include "MeasRecorder.h"
#include "Measurement.h"
#include "ModSet.h"
#include "Recording.h"
#include "RecvSettings.h"
#include "SendSettings.h"
#include "SimBench.h"

#include <QTemporaryDir>
#include <QTimer>

namespace {

// How a conversation ended ("ok" or the failure's text) and whether what it left behind
// (settings, log, file) holds only what the instrument really has.
struct Result
{
    QString outcome;
    bool intact = true;
};

QString said(const Outcome& o)
{
    return o.completed() ? QStringLiteral("ok") : FailureText(o);
}

using Run = std::function<Task<Result>(Job&, SimBench&, QString dir)>;

Task<Result> receive(Job& job, SimBench& b, QString)
{
    ModSet& set = b.session->settings();
    set = ModSet{};
    const Outcome o = co_await RecvSettings(job, set);
    // Every setting before the failed query is the instrument's; VT is the one faulted.
    const double vt = set.VT;
    co_return Result{said(o), vt == 0 || vt == b.instrument.state().settings.vt};
}

Task<Result> send(Job& job, SimBench& b, QString)
{
    ModSet& set = b.session->settings();
    set = ModSet{};
    co_await RecvSettings(job, set);
    set.VT = 2.5;
    const SendResult r = co_await SendSettings(job, set, {});
    const double vt = b.instrument.state().settings.vt;
    co_return Result{said(r.outcome), vt == 2.5 || vt == 1};
}

// Measures as a window does, logging only what completed.
Task<Result> measure(Job& job, SimBench&, QString dir, bool firstPass)
{
    MeasRecorder rec(dir + "/data.log");
    rec.log().setLogging(true);
    Measurement m = co_await MeasureWithNames(job);
    if (firstPass && m.ok())
        rec.takeHeaderReply(m.reply.text);
    if (!firstPass) {
        co_await HeaderOff(job);
        m = co_await MeasureValues(job);
        if (m.ok())
            rec.takeDataReply(m.reply.text);
    }
    const QByteArray logged = TestUtil::fileBytes(dir + "/data.log");
    // Logged lines end in "," CR LF; a cut or acknowledging reply must not be there.
    co_return Result{said(m.outcome), !logged.contains("RIGHT") && !logged.contains("ERROR") &&
                                          (logged.isEmpty() || logged.endsWith(",\r\n"))};
}

Task<Result> startStop(Job& job, SimBench& b, QString)
{
    const RecordStatus s = co_await SetRecording(job, RecordAction::Toggle);
    const int recording = b.instrument.state().measure.recording;
    // A state shown is the instrument's own.
    co_return Result{said(s.outcome),
                     s.state == RecordState::Unknown || int(s.state) - 1 == recording};
}

Task<Result> list(Job& job, SimBench& b, QString)
{
    const Listing l = co_await ListFiles(job, Medium::Card);
    // Only names the card really holds are listed.
    bool intact = true;
    for (const QByteArray& name : l.files.names())
        intact = intact && b.instrument.state().storage.find(SimStorage::Card, name);
    co_return Result{said(l.outcome), intact};
}

Task<Result> deleteFile(Job& job, SimBench& b, QString)
{
    const FileCommandResult r = co_await DeleteCardFile(job, "MEAS0003.DAT");
    const bool gone = !b.instrument.state().storage.find(SimStorage::Card, "MEAS0003.DAT");
    // Success is claimed only for a file that is gone.
    co_return Result{said(r.outcome), !r.succeeded || gone};
}

Task<Result> block(Job& job, SimBench&, QString dir)
{
    const QByteArray name = "WAVE0001.DAT"; // 5000 bytes: five blocks
    const FileDownload::Result r = co_await FileDownload::run(
        job, FileDownload(name, 5000, Medium::Card), dir + "/" + name, 1);
    const QByteArray got = TestUtil::fileBytes(dir + "/" + name);
    // Whatever was written is a correct prefix of the stored file.
    const QByteArray whole = SimStorage::content(SimStorage::Card, name, 1, 5000);
    const QString outcome = r.status == FileDownload::Status::Complete ? "ok"
                            : r.status == FileDownload::Status::CommunicationError
                                ? "Communication error"
                                : "file error";
    co_return Result{outcome, whole.startsWith(got)};
}

} // namespace

class TestFaultMatrix : public QObject
{
    Q_OBJECT
private slots:
    void matrix_data();
    void matrix();
};

void TestFaultMatrix::matrix_data()
{
    QTest::addColumn<QString>("fault"); // the simulator's --fault, "" for the connection test
    QTest::addColumn<int>("conversation");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("usable"); // the next transaction gets its reply
    QTest::addColumn<bool>("intact");

    // Each conversation fails with its text under every kind of fault but those it takes as
    // a reply. A lengthened reply arrives in one piece with bytes after its CR LF: the line
    // does not end there, so it is no complete reply and ends by time-out, like a cut one.
    struct Conversation
    {
        const char* name;
        const char* word; // the faulted reply: command word and occurrence
        int nth;
        const char* failure;
        const char* passes; // the kinds of fault that still end "ok"
    };
    static const Conversation conversations[] = {
        // The connection test takes any complete reply, a garbled one too.
        {"connection test", "aaa", 1, "not connected", "garble"},
        // The dial is answered when its reply contains "CONNECT" (half of "CONNECT 9600"
        // does) or "NO " (a hang-up's "NO CARRIER").
        {"modem dial", "ATD", 1, "not connected", "truncate lengthen"},
        // Garbled, "1" CR LF becomes "1W" LF: no answer to a query, so it fails as a time-out.
        {"receive settings", ":VT?", 1, "No reply to :VT?", ""},
        {"send settings", ":VT", 1, "No reply to :VT 2.5", "garble"},
        {"Single", ":MEAS?", 1, "No reply to :MEAS?", "garble"},
        {"a repeat pass", ":MEAS?", 2, "No reply to :MEAS?", "garble"},
        {"Start/Stop", ":START", 1, "No reply to :START", "garble"},
        {"file list", ":CARD:FILE?", 1, "No reply to :CARD:FILE? MEAS", "garble"},
        {"delete", ":CARD:DEL", 1, "No reply to :CARD:DEL MEAS0003.DAT", "garble"},
        {"one download block", ":CARD:PICK?", 2, "Communication error", "garble"},
    };
    const char* const kinds[] = {"drop", "delay", "truncate", "lengthen", "garble", "hangup"};
    for (int c = 0; c < int(std::size(conversations)); ++c)
        for (int k = 0; k < 6; ++k) {
            const Conversation& v = conversations[c];
            const QString fault = QStringLiteral("%1,%2,%3").arg(kinds[k], v.word).arg(v.nth) +
                                  (k == 1 ? QStringLiteral(",1600") : QString());
            const bool passes = QByteArray(v.passes).split(' ').contains(kinds[k]);
            // A direct line that hung up stays silent: every later command times out too.
            const bool usable = k != 5;
            // The line carries no checksum: bytes garbled inside a complete reply of the
            // right length cannot be told from real ones. A garbled file name is listed (the
            // instrument refuses to act on it); a garbled block is written as received.
            const bool intact = !(k == 4 && (c == 7 || c == 9));
            QTest::addRow("%s, %s", v.name, kinds[k])
                << fault << c << QString::fromLatin1(passes ? "ok" : v.failure) << usable << intact;
        }
}

// Catches: a fault that hangs a conversation, is reported as success, stores or logs a cut,
// late or foreign reply, claims a delete that did not happen, writes a file that is not a
// prefix of the stored one, or leaves the link unusable for the next command.
void TestFaultMatrix::matrix()
{
    QFETCH(QString, fault);
    QFETCH(int, conversation);
    QFETCH(QString, outcome);
    QFETCH(bool, usable);
    QFETCH(bool, intact);
    // Without a delete delay a delayed reply comes when the rows expect it.
    QTemporaryDir dir;
    SimBench b(SimBench::withFault(
        fault, {.modem = conversation == 1, .dialDelayMs = 100, .deleteDelayMs = 0}));
    // Waits longer than a second (":MEAS?", delete, a block) end as their time-out would,
    // a little after a faulted reply was due.
    int sent = 0;
    QObject::connect(&b.link(), &Link::written, [&](const QByteArray&, int ms) {
        const int mine = ++sent;
        if (ms > 1000)
            QTimer::singleShot(1300, b.session.get(), [&b, &sent, mine] {
                if (sent == mine)
                    b.link().cancelWait();
            });
    });
    b.session->setPauseLength([](int) { return 0; }); // the jobs' fixed pauses take no time
    const bool connected = conversation == 1 ? b.connectModem("123") : b.connectDirect();
    Result r;
    if (conversation <= 1) {
        r.outcome = connected ? "ok" : "not connected";
    } else {
        QVERIFY(connected);
        static const Run runs[] = {
            nullptr,
            nullptr,
            receive,
            send,
            [](Job& j, SimBench& s, QString d) { return measure(j, s, d, true); },
            [](Job& j, SimBench& s, QString d) { return measure(j, s, d, false); },
            startStop,
            list,
            deleteFile,
            block};
        const Run run = runs[conversation];
        r = *TestUtil::runJob<Result>(*b.session,
                                      [&](Job& job) { return run(job, b, dir.path()); });
    }
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(r.intact, intact);
    if (!connected)
        return;
    QTest::qWait(fault.startsWith("delay") ? 700 : 50); // late bytes have come
    const Link::Reply next = TestUtil::transact(*b.session, ":ID?");
    QCOMPARE(next.result == Link::Result::Complete && next.text == "1\r\n", usable);
}

QTEST_MAIN(TestFaultMatrix)
#include "test_fault_matrix.moc"
