// The binary block fetch against the simulated instrument's stored files, with the start
// window's controls watching. (The busy and invalid-range refusals are the link's own tests.)

#include "Link.h"
#include "SimBench.h"
#include "SimFileCommands.h"

#include <QPushButton>
#include <QSignalSpy>

namespace {

constexpr char kAwkward[] = {'\x00', '\x0d', '\x0a', '\x11', '\x13', '\xff'};

} // namespace

class TestFetchBlock : public QObject
{
    Q_OBJECT
private slots:
    void fetchesTheRequestedBytes_data();
    void fetchesTheRequestedBytes();
    void bytesPastTheBufferAreDropped();
};

void TestFetchBlock::fetchesTheRequestedBytes_data()
{
    QTest::addColumn<int>("media");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("piece");
    QTest::addColumn<QByteArray>("request");

    QTest::newRow("memory, second block") << 1 << QByteArray("M0000002.DAT") << 1001 << 2000 << 0
                                          << QByteArray(":MEM:PICK? M0000002.DAT, 1001, 2000");
    QTest::newRow("card, first block, 1-byte pieces")
        << 0 << QByteArray("MEAS0001.DAT") << 1 << 1000 << 1
        << QByteArray(":CARD:PICK? MEAS0001.DAT, 1, 1000");
    QTest::newRow("memory, short last block, 7-byte pieces")
        << 1 << QByteArray("M0000007.DAT") << 4194001 << 4194307 << 7
        << QByteArray(":MEM:PICK? M0000007.DAT, 4194001, 4194307");
}

// Catches: a wrong request line, bytes changed on the way (CR, LF, NUL, XON, XOFF, 0xFF), and
// a fetch that completes before the last byte: the buffer is first filled with another
// block, so an early completion would hand back stale bytes at the end.
void TestFetchBlock::fetchesTheRequestedBytes()
{
    QFETCH(int, media);
    QFETCH(QByteArray, name);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, piece);
    QFETCH(QByteArray, request);

    SimBench bench;
    QVERIFY(bench.connectDirect());
    Link& link = bench.link();
    QCOMPARE(link.FetchBlock("WAVE0001.DAT", 1, 1000, 0).result, Link::ResultComplete);
    bench.clearWire();
    bench.port->setPieceSize(piece);
    QSignalSpy written(&link, &Link::written);

    const Link::Block block = link.FetchBlock(name, start, end, media);

    QCOMPARE(bench.wire(), QList<QByteArray>{request});
    QCOMPARE(written.size(), 1);
    QCOMPARE(written[0][1].toInt(), 5000);
    QCOMPARE(block.result, Link::ResultComplete);
    QCOMPARE(block.bytes.size(), Link::BlockBufSize);
    const auto m = media == 0 ? SimStorage::Card : SimStorage::Memory;
    const int n = end - start + 1;
    const QByteArray expected = SimStorage::content(m, name, start, n);
    QCOMPARE(block.bytes.mid(1, n), expected);
    QCOMPARE(block.bytes.at(n + 1), SimFileCommands::BlockTrail);
    if (n == 1000)
        for (char c : kAwkward)
            QVERIFY2(expected.contains(c), "the block lacks one of the awkward bytes");
    QCOMPARE(link.BlockLen(), n + 2);
    QCOMPARE(bench.port->bytesWaiting(), 0);
    QCOMPARE(link.Busy(), qint16(0));
    QVERIFY(bench.startChild<QPushButton>("CommandConnect")->isEnabled());
}

// The sanitizer build catches a write past the 1002-byte buffer; here the results.
void TestFetchBlock::bytesPastTheBufferAreDropped()
{
    SimConfig config;
    config.faults.resize(1);
    QString error;
    QVERIFY(SimFault::parse("lengthen,:MEM:PICK?,1,3000", &config.faults[0], &error));
    SimBench bench(config);
    QVERIFY(bench.connectDirect());
    bench.port->setPieceSize(500);

    // An over-long reply passes the expected count without equalling it: time-out.
    const Link::Block longer = bench.link().FetchBlock("M0000002.DAT", 1, 1000, 1);
    QCOMPARE(longer.result, Link::ResultTimeout);
    QCOMPARE(longer.bytes.mid(1, 1000),
             SimStorage::content(SimStorage::Memory, "M0000002.DAT", 1, 1000));
    QCOMPARE(longer.bytes.at(1001), SimFileCommands::BlockTrail);

    // More than 1000 bytes asked for: the reply completes by count, the buffer keeps its
    // first 1002 bytes.
    const Link::Block wide = bench.link().FetchBlock("M0000002.DAT", 2001, 4500, 1);
    QCOMPARE(wide.result, Link::ResultComplete);
    QCOMPARE(wide.bytes.size(), Link::BlockBufSize);
    QCOMPARE(wide.bytes.mid(1),
             SimStorage::content(SimStorage::Memory, "M0000002.DAT", 2001, 1001));
    QCOMPARE(bench.link().BlockLen(), 2502);
}

QTEST_MAIN(TestFetchBlock)
#include "test_fetchblock.moc"
