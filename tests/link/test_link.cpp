// The request/reply transaction and the block fetch, against an in-process line, and the
// COMn resolution.

#include "InstrumentSession.h"
#include "Link.h"
#include "PortResolver.h"
#include "SimInstrument.h"
#include "SimPort.h"
#include "TestUtil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <limits>

namespace {

// A line whose other end the test plays by hand: the instrument answers nothing.
struct Line
{
    SimInstrument instrument;
    SimPort& port = *new SimPort(instrument);
    InstrumentSession session{std::unique_ptr<SimPort>(&port)};
    Link& link = session.link();
    QList<bool> busyCalls;

    Line()
    {
        for (const char* word : {"X", ":CARD:PICK?", ":MEM:PICK?"})
            instrument.addCommand(word, [](SimInstrument&, const QByteArray&) {
                SimReply r;
                r.none = true;
                return r;
            });
        // "Y" is answered at once: a reply that is not "FRESH" was meant for another command.
        instrument.addCommand(
            "Y", [](SimInstrument&, const QByteArray&) { return SimReply::line("FRESH"); });
        QObject::connect(&link, &Link::controlsBusy, [this](bool b) { busyCalls << b; });
        port.open(nullptr);
    }
    // One transaction as a job of its own.
    Link::Reply send(const QByteArray& command, int timeoutMs = 2000,
                     Link::Mode mode = Link::Mode::Line)
    {
        return TestUtil::transact(session, command, timeoutMs, mode);
    }
    Link::Reply fetch(const QByteArray& name, qint32 start, qint32 end, Medium medium)
    {
        return *TestUtil::runJob<Link::Reply>(session, [=](Job& job) -> Task<Link::Reply> {
            co_return co_await job.fetchBlock(name, start, end, medium);
        });
    }
    // Sends "X" and plays the pieces as they would arrive, each after its delay.
    Link::Reply play(const QList<QPair<int, QByteArray>>& pieces, int timeoutMs = 2000)
    {
        for (const auto& [delay, bytes] : pieces)
            port.inject(bytes, delay);
        return send("X", timeoutMs);
    }
};

} // namespace

class TestLink : public QObject
{
    Q_OBJECT
private slots:
    void lineCompletion_data();
    void lineCompletion();
    void timeout_data();
    void timeout();
    void busyRefusal();
    void staleBytesAreNotTakenForTheNext();
    void lineBeforeTheReplyAfterATimeoutIsDropped();
    void modemModes_data();
    void modemModes();
    void shutdownEndsTheWait();
    void fetchBlockRequestAndCount();
    void fetchBlockInvalidRange();
    void portResolution();
};

void TestLink::lineCompletion_data()
{
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QByteArray>("reply");
    using L = QList<QByteArray>;
    QTest::newRow("one piece") << 0 << L{"ALL RIGHT\r\n"} << QByteArray("ALL RIGHT\r\n");
    QTest::newRow("byte by byte") << 1 << L{"1P2W\r\n"} << QByteArray("1P2W\r\n");
    // A piece ending in CR must not complete the reply; the LF that follows does.
    QTest::newRow("CR then LF") << 0 << L{"ALL RIGHT\r", "\n"} << QByteArray("ALL RIGHT\r\n");
    // The last character decides: a second line's start keeps the reply open.
    QTest::newRow("line and a half")
        << 0 << L{"ALL RIGHT\r\nAB", "C\r\n"} << QByteArray("ALL RIGHT\r\nABC\r\n");
    QTest::newRow("LF without CR") << 0 << L{"ok\n"} << QByteArray("ok\n");
    QTest::newRow("high and NUL bytes") << 3 << L{QByteArray("\xff\x00\x80\xfe", 4), "\r\n"}
                                        << QByteArray("\xff\x00\x80\xfe\r\n", 6);
}

// Catches: a reply completed early (on CR, inside a second line) or changed on the way.
void TestLink::lineCompletion()
{
    QFETCH(int, pieceSize);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QByteArray, reply);
    Line l;
    l.port.setPieceSize(pieceSize);
    QList<QPair<int, QByteArray>> timed;
    int t = 20;
    for (const QByteArray& p : pieces) {
        timed << qMakePair(t, p);
        t += 150; // far enough apart to be separate receive events
    }
    const Link::Reply r = l.play(timed);
    QCOMPARE(r.result, Link::Result::Complete);
    QCOMPARE(r.text, reply);
    QCOMPARE(l.link.LastSent(), QByteArray("X\r\n"));
    QCOMPARE(l.port.written(), QByteArray("X\r\n"));
    QVERIFY(!l.link.held());
    QCOMPARE(l.busyCalls, (QList<bool>{true, false}));
}

void TestLink::timeout_data()
{
    QTest::addColumn<QByteArray>("partial");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("partial line") << QByteArray("ALL RI"); // a lone CR: lineCompletion
}

// Catches: a time-out that comes early, loses the partial reply or leaves the link busy.
void TestLink::timeout()
{
    QFETCH(QByteArray, partial);
    Line l;
    QElapsedTimer clock;
    clock.start();
    const Link::Reply r = l.play({{10, partial}}, 300);
    QCOMPARE(r.result, Link::Result::Timeout);
    QCOMPARE(r.text, partial);
    QVERIFY(clock.elapsed() >= 290); // not before its time
    QVERIFY(!l.link.held());
    QCOMPARE(l.busyCalls.last(), false); // the controls are usable again
}

// Catches: a second job's transaction written while one waits, or disturbing the one that
// waits; a cancelled job's reply taken as the next job's.
void TestLink::busyRefusal()
{
    Line l;
    std::optional<Link::Reply> nested;
    // Another job tries a transaction while the first waits; the last line checks that
    // nothing of it was written.
    QTimer::singleShot(50, [&] { nested = l.send(":STAT?", 1000); });
    const Link::Reply r = l.play({{200, "ALL RIGHT\r\n"}});
    QVERIFY(nested);
    QCOMPARE(nested->result, Link::Result::Busy);
    QCOMPARE(nested->text, QByteArray("BUSY"));
    QCOMPARE(r.text, QByteArray("ALL RIGHT\r\n")); // the running transaction is not disturbed
    // A cancelled job keeps the line until its reply has come: the next job is refused
    // meanwhile, and the reply is nobody's.
    l.port.inject("LATE\r\n", 200);
    Job* cancelled = l.session.submit<Link::Reply>(
        nullptr, [](Job& job) -> Task<Link::Reply> { co_return co_await job.transact("X", 2000); },
        [](Link::Reply) { QFAIL("a cancelled job gave a result"); });
    cancelled->cancel();
    QCOMPARE(l.fetch("F", 1, 10, Medium::Card).result, Link::Result::Busy);
    QVERIFY(TestUtil::waitFor([&] { return !l.link.held(); }));
    QCOMPARE(l.send("Y").text, QByteArray("FRESH\r\n"));
    QCOMPARE(l.port.written(), QByteArray("X\r\nX\r\nY\r\n"));
}

// Catches: stale bytes in the port taken for the next command's reply. (A whole late reply:
// the delay rows of test_fault_matrix.)
void TestLink::staleBytesAreNotTakenForTheNext()
{
    Line l;
    l.port.inject("STALE", 0);
    QTest::qWait(50); // the stale bytes wait in the port, unread
    QCOMPARE(l.send("Y", 1000).text, QByteArray("FRESH\r\n"));
}

// After a time-out, a line followed at once by another answered the timed-out command;
// without a time-out before, the first line is the reply as always.
void TestLink::lineBeforeTheReplyAfterATimeoutIsDropped()
{
    Line l;
    QCOMPARE(l.play({}, 100).result, Link::Result::Timeout);
    const Link::Reply r = l.play({{0, "STALE\r\nFR"}, {20, "ESH\r\n"}});
    QCOMPARE(r.result, Link::Result::Complete);
    QCOMPARE(r.text, QByteArray("FRESH\r\n"));
    QCOMPARE(l.play({{0, "A\r\n"}, {0, "B\r\n"}}).text, QByteArray("A\r\n"));
}

void TestLink::modemModes_data()
{
    QTest::addColumn<Link::Mode>("mode");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("completes");
    const Link::Mode ack = Link::Mode::ModemAck, dial = Link::Mode::ModemDial;
    QTest::newRow("ack OK, no line end") << ack << QByteArray("\r\nOK") << true;
    QTest::newRow("ack ERROR") << ack << QByteArray("ERROR\r\n") << false;
    QTest::newRow("dial CONNECT") << dial << QByteArray("CONNECT 9600") << true;
    QTest::newRow("dial NO CARRIER") << dial << QByteArray("NO CARRIER\r\n") << true;
    QTest::newRow("dial BUSY") << dial << QByteArray("BUSY\r\n") << false;
}

// Catches: a modem answer taken for success that is none.
void TestLink::modemModes()
{
    QFETCH(Link::Mode, mode);
    QFETCH(QByteArray, reply);
    QFETCH(bool, completes);
    Line l;
    l.port.inject(reply, 20);
    const Link::Reply r = l.send("X", 300, mode);
    QCOMPARE(r.result, completes ? Link::Result::Complete : Link::Result::Timeout);
    QCOMPARE(r.text, reply);
}

// Catches: a wait that outlives the program's close. The time-outs are endless, so such a
// fault hangs the test until ctest stops it.
void TestLink::shutdownEndsTheWait()
{
    Line l;
    constexpr int endless = std::numeric_limits<int>::max();
    QTimer::singleShot(50, [&] { l.link.shutdown(); });
    QCOMPARE(l.send("X", endless).result, Link::Result::Timeout);
    QCOMPARE(l.send("X", endless).result, Link::Result::Timeout);
}

// Catches: a wrong request line or medium, bytes changed on the way, a block completed
// before its last byte.
void TestLink::fetchBlockRequestAndCount()
{
    Line l;
    l.port.setPieceSize(7);
    QByteArray data;
    for (int i = 0; i < 1000; ++i)
        data.append(char(i * 37 + 11));
    data.replace(0, 6, QByteArray("\x00\x0d\x0a\x11\x13\xff", 6));
    l.port.inject("<" + data + ">", 20);
    const Link::Reply b = l.fetch("X", 1001, 2000, Medium::Memory);
    QCOMPARE(l.port.written(), QByteArray(":MEM:PICK? X, 1001, 2000\r\n"));
    QCOMPARE(b.result, Link::Result::Complete);
    QCOMPARE(b.text.size(), Link::BlockBufSize);
    QCOMPARE(b.text.mid(1, 1000), data);
    QCOMPARE(l.link.LastSent(), QByteArray("mi soushin")); // the block request is not a command
    QCOMPARE(l.link.timerComInterval(), 5000);
    // One byte: three bytes expected, and the card's command word.
    l.port.clearWritten();
    l.port.inject("<Z>", 20);
    const Link::Reply one = l.fetch("F 1.DAT", 7, 7, Medium::Card);
    QCOMPARE(l.port.written(), QByteArray(":CARD:PICK? F 1.DAT, 7, 7\r\n"));
    QCOMPARE(one.result, Link::Result::Complete);
    QCOMPARE(one.text.at(1), 'Z');
}

// Catches: an empty range written to the line, or the controls disabled for it.
void TestLink::fetchBlockInvalidRange()
{
    Line l;
    const Link::Reply b = l.fetch("X", 10, 8, Medium::Card);
    QCOMPARE(b.result, Link::Result::InvalidRange);
    QCOMPARE(b.text, QByteArray("E\0R\0R\0O\0R\0", 10));
    QVERIFY(l.port.written().isEmpty());
    QVERIFY(l.busyCalls.isEmpty()); // the controls were never disabled
}

// Catches: COMn counted from the wrong end or in name order (ttyS10 before ttyS2), a
// dosdevices link ignored, or an open error that does not name the port and its device.
void TestLink::portResolution()
{
    QTemporaryDir dev;
    for (const char* n : {"ttyS1", "ttyS0", "ttyS10", "ttyS2", "ttyUSB0", "ttyACM0", "ttySX"})
        QFile(dev.filePath(QString::fromLatin1(n))).open(QIODevice::WriteOnly);
    const QStringList devices = PortResolver::serialDevices(dev.path());
    QCOMPARE(devices, (QStringList{dev.filePath("ttyS0"), dev.filePath("ttyS1"),
                                   dev.filePath("ttyS2"), dev.filePath("ttyS10"),
                                   dev.filePath("ttyUSB0"), dev.filePath("ttyACM0")}));
    QTemporaryDir dos;
    QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB7"), dos.filePath(QStringLiteral("com2"))));
    QCOMPARE(PortResolver::resolve(1, dos.path(), devices), dev.filePath("ttyS0"));
    QCOMPARE(PortResolver::resolve(2, dos.path(), devices), QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(PortResolver::resolve(6, dos.path(), devices), dev.filePath("ttyACM0"));
    QCOMPARE(PortResolver::resolve(7, dos.path(), devices), QString());
    const QString denied = PortResolver::openErrorText(3, QStringLiteral("/dev/ttyS2"),
                                                       QStringLiteral("permission denied"), true);
    QVERIFY(denied.contains(QStringLiteral("COM3 (/dev/ttyS2)")));
    QVERIFY(denied.contains(QStringLiteral("log out and in again")));
}

QTEST_MAIN(TestLink)
#include "test_link.moc"
