// The request/reply transaction and the block fetch, against an in-process line, and the
// COMn resolution.

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
    SimPort port{instrument};
    Link link{port};
    QList<qint16> busyCalls;

    Line()
    {
        for (const char* word : {"X", ":CARD:PICK?", ":MEM:PICK?"})
            instrument.addCommand(word, [](SimInstrument&, const QByteArray&) {
                SimReply r;
                r.none = true;
                return r;
            });
        QObject::connect(&link, &Link::controlsBusy, [this](qint16 b) { busyCalls << b; });
        port.open(nullptr);
    }
    // Sends "X" and plays the pieces as they would arrive, each after its delay.
    Link::Reply play(const QList<QPair<int, QByteArray>>& pieces, int timeoutMs = 2000)
    {
        for (const auto& [delay, bytes] : pieces)
            port.inject(bytes, delay);
        return link.SendCommand("X", timeoutMs);
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
    void lateReplyIsNotTakenForTheNext();
    void lineBeforeTheReplyAfterATimeoutIsDropped();
    void transactionInsideAModalLoopAboveAFinishedOne();
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
    QCOMPARE(r.result, Link::ResultComplete);
    QCOMPARE(r.text, reply);
    QCOMPARE(l.link.Recv(), reply);
    QCOMPARE(l.port.written(), QByteArray("X\r\n"));
    QCOMPARE(l.link.Busy(), qint16(0));
    QCOMPARE(l.busyCalls, (QList<qint16>{-1, 0}));
    QCOMPARE(l.link.timerComInterval(), 2000);
}

void TestLink::timeout_data()
{
    QTest::addColumn<QByteArray>("partial");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("partial line") << QByteArray("ALL RI");
    QTest::newRow("CR without LF") << QByteArray("ALL RIGHT\r");
}

// Catches: a time-out that comes early, loses the partial reply or leaves the link busy.
void TestLink::timeout()
{
    QFETCH(QByteArray, partial);
    Line l;
    QElapsedTimer clock;
    clock.start();
    const Link::Reply r = l.play({{10, partial}}, 300);
    QCOMPARE(r.result, Link::ResultTimeout);
    QCOMPARE(r.text, partial);
    QVERIFY(clock.elapsed() >= 290); // not before its time
    QCOMPARE(l.link.Busy(), qint16(0));
    QCOMPARE(l.link.TimeUp(), qint16(0));
    QCOMPARE(l.busyCalls.last(), qint16(0)); // the controls are usable again
}

// Catches: a second transaction written while one waits, or disturbing the one that waits.
void TestLink::busyRefusal()
{
    Line l;
    Link::Reply nested{-99, {}};
    QByteArray sendDuringWait;
    QByteArray writtenDuringWait;
    // Another handler tries a transaction while the first waits.
    QTimer::singleShot(50, [&] {
        nested = l.link.SendCommand(":STAT?", 1000);
        sendDuringWait = l.link.LastSent();
        writtenDuringWait = l.port.written();
    });
    const Link::Reply r = l.play({{200, "ALL RIGHT\r\n"}});
    QCOMPARE(nested.result, Link::ResultBusy);
    QCOMPARE(nested.text, QByteArray("BUSY"));
    QCOMPARE(sendDuringWait, QByteArray("X\r\n"));
    QCOMPARE(writtenDuringWait, QByteArray("X\r\n"));
    QCOMPARE(r.result, Link::ResultComplete); // the running transaction is not disturbed
    QCOMPARE(r.text, QByteArray("ALL RIGHT\r\n"));
    // A refused block fetch changes nothing either.
    QTimer::singleShot(20,
                       [&] { nested.result = l.link.FetchBlock("F", 1, 10, Medium::Card).result; });
    l.play({{150, "x\r\n"}});
    QCOMPARE(nested.result, Link::ResultBusy);
    QCOMPARE(l.port.written(), QByteArray("X\r\nX\r\n"));
}

// Catches: a late reply, or stale bytes in the port, taken for the next command's reply.
void TestLink::lateReplyIsNotTakenForTheNext()
{
    Line l;
    const Link::Reply first = l.play({{400, "LATE\r\n"}}, 150);
    QCOMPARE(first.result, Link::ResultTimeout);
    QVERIFY(TestUtil::waitFor([&] { return l.link.Recv() == "LATE\r\n"; }));
    // The late line completed nothing harmful: the link is idle, the next reply is its own.
    QCOMPARE(l.link.Busy(), qint16(0));
    l.port.inject("STALE", 0);
    QTest::qWait(50); // the stale bytes wait in the port, unread
    l.instrument.addCommand(
        "Y", [](SimInstrument&, const QByteArray&) { return SimReply::line("FRESH"); });
    const Link::Reply next = l.link.SendCommand("Y", 1000);
    QCOMPARE(next.result, Link::ResultComplete);
    QCOMPARE(next.text, QByteArray("FRESH\r\n"));
}

// After a time-out, a line followed at once by another answered the timed-out command;
// without a time-out before, the first line is the reply as always.
void TestLink::lineBeforeTheReplyAfterATimeoutIsDropped()
{
    Line l;
    QCOMPARE(l.play({}, 100).result, Link::ResultTimeout);
    const Link::Reply r = l.play({{0, "STALE\r\nFR"}, {20, "ESH\r\n"}});
    QCOMPARE(r.result, Link::ResultComplete);
    QCOMPARE(r.text, QByteArray("FRESH\r\n"));
    QCOMPARE(l.play({{0, "A\r\n"}, {0, "B\r\n"}}).text, QByteArray("A\r\n"));
}

// Catches: a transaction started inside a modal box above a finished wait never completing.
void TestLink::transactionInsideAModalLoopAboveAFinishedOne()
{
    // A handler opens a modal box while A waits; A's reply comes while the box is open, and
    // a handler inside the box starts B. B must wait and complete on its own.
    Line l;
    l.instrument.addCommand(
        "B", [](SimInstrument&, const QByteArray&) { return SimReply::line("REPLY B", 100); });
    Link::Reply b{-1, {}};
    QTimer::singleShot(20, [&] {
        QEventLoop modal;
        QTimer::singleShot(200, [&] { b = l.link.SendCommand("B", 1000); });
        QTimer::singleShot(600, &modal, &QEventLoop::quit);
        modal.exec();
    });
    const Link::Reply a = l.play({{100, "REPLY A\r\n"}});
    QCOMPARE(b.result, Link::ResultComplete);
    QCOMPARE(b.text, QByteArray("REPLY B\r\n"));
    QCOMPARE(a.result, Link::ResultComplete);
    QCOMPARE(a.text, QByteArray("REPLY A\r\n"));
}

void TestLink::modemModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("completes");
    QTest::newRow("ack OK, no line end") << 2 << QByteArray("\r\nOK") << true;
    QTest::newRow("ack ERROR") << 2 << QByteArray("ERROR\r\n") << false;
    QTest::newRow("dial CONNECT") << 3 << QByteArray("CONNECT 9600") << true;
    QTest::newRow("dial NO CARRIER") << 3 << QByteArray("NO CARRIER\r\n") << true;
    QTest::newRow("dial BUSY") << 3 << QByteArray("BUSY\r\n") << false;
    QTest::newRow("unknown mode") << 7 << QByteArray("OK\r\n") << false;
}

// Catches: a modem answer taken for success that is none, or the caller's mode changed.
void TestLink::modemModes()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, reply);
    QFETCH(bool, completes);
    Line l;
    l.port.inject(reply, 20);
    l.link.setRecvMode(qint16(mode));
    const Link::Reply r = l.link.SendModemCommand("X", 300);
    QCOMPARE(l.link.RecvMode(), qint16(mode)); // the modem variant keeps the caller's mode
    QCOMPARE(r.result, completes ? Link::ResultComplete : Link::ResultTimeout);
    QCOMPARE(r.text, mode == 7 ? QByteArray() : reply);
}

// Catches: a wait that outlives the program's close. The time-outs are endless, so such a
// fault hangs the test until ctest stops it.
void TestLink::shutdownEndsTheWait()
{
    Line l;
    constexpr int endless = std::numeric_limits<int>::max();
    QTimer::singleShot(50, [&] { l.link.shutdown(); });
    QCOMPARE(l.link.SendCommand("X", endless).result, Link::ResultTimeout);
    QCOMPARE(l.link.SendCommand("X", endless).result, Link::ResultTimeout);
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
    l.link.setRecvMode(0);
    const Link::Block b = l.link.FetchBlock("X", 1001, 2000, Medium::Memory);
    QCOMPARE(l.port.written(), QByteArray(":MEM:PICK? X, 1001, 2000\r\n"));
    QCOMPARE(b.result, Link::ResultComplete);
    QCOMPARE(b.bytes.size(), Link::BlockBufSize);
    QCOMPARE(b.bytes.mid(1, 1000), data);
    QCOMPARE(l.link.BlockLen(), 1002);
    QCOMPARE(l.link.timerComInterval(), 5000);
    // One byte: three bytes expected, and the card's command word.
    l.port.clearWritten();
    l.port.inject("<Z>", 20);
    const Link::Block one = l.link.FetchBlock("F 1.DAT", 7, 7, Medium::Card);
    QCOMPARE(l.port.written(), QByteArray(":CARD:PICK? F 1.DAT, 7, 7\r\n"));
    QCOMPARE(one.result, Link::ResultComplete);
    QCOMPARE(one.bytes.at(1), 'Z');
}

// Catches: an empty range written to the line, or the controls disabled for it.
void TestLink::fetchBlockInvalidRange()
{
    Line l;
    const Link::Block b = l.link.FetchBlock("X", 10, 8, Medium::Card);
    QCOMPARE(b.result, Link::ResultInvalidRange);
    QCOMPARE(b.bytes, QByteArray("E\0R\0R\0O\0R\0", 10));
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
