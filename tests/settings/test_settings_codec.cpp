// The settings' number reader and number forms, the item words, the reply splitters and the
// sensor and wiring rules.

#include "ItemWords.h"
#include "ModSet.h"
#include "NumberText.h"
#include "ReplyFits.h"
#include "SensorRule.h"
#include "SettingsCodec.h"
#include "WiringRule.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using Fields = QList<QByteArray>;

class TestSettingsCodec : public QObject
{
    Q_OBJECT
private slots:
    void numberReader_data();
    void numberReader();
    void numberForms_data();
    void numberForms();
    void formsReadBack();
    void itemWordsBits();
    void splitFields_data();
    void splitFields();
    void replyFieldCodes_data();
    void replyFieldCodes();
    void replyFits_data();
    void replyFits();
    void sensorRule();
    void wiringRule();
};

void TestSettingsCodec::numberReader_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("integer"); // "out": outside the 32-bit range
    const double inf = HUGE_VAL;
    QTest::newRow("digits then letters") << "12abc" << 12.0 << "12";
    QTest::newRow("blanks inside") << " 1 2 3" << 123.0 << "123";
    QTest::newRow("tab, LF, exponent") << "\t-1.5\ne2" << -150.0 << "-150";
    QTest::newRow("CR is not ignored") << "1\r2" << 1.0 << "1";
    QTest::newRow("fraction only") << "-.5" << -0.5 << "0";
    QTest::newRow("bare exponent letter") << "1.5e" << 1.5 << "2";
    QTest::newRow("second point, comma") << "2.5.3,1" << 2.5 << "2";
    QTest::newRow("3.5 to even") << "3.5" << 3.5 << "4";
    QTest::newRow("full-width digit") << QStringLiteral("１2") << 0.0 << "0";
    QTest::newRow("largest") << "2147483647.4" << 2147483647.4 << "2147483647";
    QTest::newRow("rounds out of range") << "2147483647.5" << 2147483647.5 << "out";
    QTest::newRow("one under") << "-2147483649" << -2147483649.0 << "out";
    QTest::newRow("overflow") << "-12345e999" << -inf << "out";
    QTest::newRow("underflow") << "000.0001e-400" << 0.0 << "0";
    QTest::newRow("exponent past 64 bits") << "1e99999999999999999999" << inf << "out";
}

// Catches: a number read past a character it must stop at, blanks not skipped, a
// rounding that is not to even, or an out-of-range integer taken as a value.
void TestSettingsCodec::numberReader()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(QString, integer);
    QCOMPARE(ReadNumber(text), value);
    QCOMPARE(RealValue(text.toLatin1()).has_value(), std::isfinite(value));
    const std::optional<qint32> i = IntegerValue(text);
    QCOMPARE(i ? QString::number(*i) : QStringLiteral("out"), integer);
}

void TestSettingsCodec::numberForms_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("blank");
    QTest::addColumn<QString>("plain");
    const auto row = [](const char* tag, double value, const char* blank, const char* plain) {
        QTest::newRow(tag) << value << QString::fromLatin1(blank) << QString::fromLatin1(plain);
    };
    row("2003", 2003.0, " 2003", "2003");
    row("1.5", 1.5, " 1.5", "1.5");
    row("0.5", 0.5, " .5", "0.5");
    row("-0.25", -0.25, "-.25", "-0.25");
    row("no exponent", 100000.00001, " 100000.00001", "100000.00001");
    row("0.1 + 0.2 at 15 digits", 0.1 + 0.2, " .3", "0.3");
    row("2/3 rounded", 2.0 / 3, " .666666666666667", "0.666666666666667");
    row("rounding carries", 9.9999999999999999, " 10", "10");
    row("huge", 1.5e20, " 1.5E+20", "1.5E+20");
    row("tiny", -2e-20, "-2E-20", "-2E-20");
}

// Catches: a leading zero or sign blank wrong, an exponent where none belongs, more than
// 15 significant digits sent.
void TestSettingsCodec::numberForms()
{
    QFETCH(double, value);
    QFETCH(QString, blank);
    QFETCH(QString, plain);
    QCOMPARE(BlankForm(value), blank);
    QCOMPARE(PlainForm(value), plain);
}

// Whatever the magnitude, both forms read back to the value within 15 digits.
void TestSettingsCodec::formsReadBack()
{
    QRandomGenerator rng(4711);
    for (int i = 0; i < 2000; ++i) {
        const double v = (rng.generateDouble() - 0.5) * std::pow(10.0, rng.bounded(-25, 25));
        for (const QString& text : {BlankForm(v), PlainForm(v)}) {
            if (std::fabs(ReadNumber(text) - v) > 1e-14 * std::fabs(v))
                QFAIL(qPrintable(QStringLiteral("%1 written as %2").arg(v, 0, 'g', 17).arg(text)));
        }
    }
}

// Catches: a data item on the wrong bit or word, HARM. or WAVE put into the item words, the
// order selection decoded from the wrong bits.
void TestSettingsCodec::itemWordsBits()
{
    ModSet all;
    all.Norm = all.Integ = all.Inst = all.Ave = all.Max = all.Min = all.P = true;
    all.Level = all.Percent = all.Phase = all.THD = all.Total = true;
    all.Circuit.fill(true), all.U.fill(true), all.I.fill(true), all.Ord.fill(true);
    QCOMPARE(DataItemText(all),
             QStringLiteral(":DATA:ITEM 95, 159, 15, 255, 255, 255, 255, 255, 255"));
    ModSet none;
    none.OrdType = 3;
    none.Harm = none.Wave = true; // they have commands of their own
    QCOMPARE(DataItemText(none), QStringLiteral(":DATA:ITEM 0, 0, 0, 0, 0, 0, 0, 0, 0"));

    // Scattered flags land on their own bits, and come back from them.
    ModSet one;
    one.OrdType = 3;
    one.Percent = one.Total = one.Norm = one.Min = one.Integ = true;
    one.Circuit[3] = one.U[2] = one.I[4] = true;
    one.Ord[1] = one.Ord[9] = one.Ord[24] = one.Ord[40] = true;
    const ItemWords words{74, 24, 4, 66, 1, 1, 128, 0, 128};
    QCOMPARE(EncodeItemWords(one), words);
    ModSet back;
    back.Harm = true;
    DecodeItemWords(words, back);
    one.Harm = true; // %ofFND and TOTAL are harmonic items
    QVERIFY(back == one);
    // Order selection: none of bits 5..7 is SELECT; EVEN beats ODD beats ALL.
    for (auto [word2, ordType] : {std::pair{31, 3}, {128, 0}, {192, 1}, {96, 2}, {160, 2}}) {
        DecodeItemWords({0, word2, 0, 0, 0, 0, 0, 0, 0}, back);
        QCOMPARE(back.OrdType, ordType);
        QCOMPARE(EncodeItemWords(back)[1], ((word2 & 31) | std::array{128, 64, 32, 0}[ordType]));
    }
    // NORM alone is no harmonic item; unused bits 5 and 7 of word 1 carry nothing.
    DecodeItemWords({64 | 160, 0, 0xF0, 0, 0, 0, 0, 0, 0}, back);
    QVERIFY(!back.Harm && back.Norm);
    QCOMPARE(EncodeItemWords(back), (ItemWords{64, 0, 0, 0, 0, 0, 0, 0, 0}));
}

void TestSettingsCodec::splitFields_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("n");
    QTest::addColumn<Fields>("fields");
    QTest::newRow("four") << QByteArray("5,1000,2,5000\r\n") << 4
                          << Fields{"5", "1000", "2", "5000"};
    QTest::newRow("untrimmed, extra ignored")
        << QByteArray(" 1,,3 ,4\r\n") << 3 << Fields{" 1", "", "3 "};
    QTest::newRow("missing are empty") << QByteArray("a,b\r\n") << 4 << Fields{"a", "b", "", ""};
    QTest::newRow("LF only") << QByteArray("\n") << 3 << Fields{"", "", ""};
    // Only the last two characters are dropped, whatever they are.
    QTest::newRow("LF without CR") << QByteArray("1,22\n") << 2 << Fields{"1", "2"};
}

// Catches: a field kept with its CR LF, a missing field not empty, a reply split past the
// count asked for.
void TestSettingsCodec::splitFields()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, n);
    QFETCH(Fields, fields);
    QCOMPARE(SplitFields(reply, n), fields);
}

void TestSettingsCodec::replyFieldCodes_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("sensor");
    QTest::newRow("0.5") << QByteArray("0.5") << 0 << 0;
    QTest::newRow("1000 as a number") << QByteArray(" 1E3") << 8 << 0;
    QTest::newRow("no such range") << QByteArray("7") << 0 << 0;
    QTest::newRow("FLX-5k") << QByteArray("FLX-5k") << 0 << 3;
    QTest::newRow("FLX-5K is not known") << QByteArray("FLX-5K") << 0 << 0;
    QTest::newRow("CLD untrimmed") << QByteArray(" CLD") << 0 << 0;
}

// Catches: a range or sensor word matched in the wrong case, untrimmed, or as a prefix.
void TestSettingsCodec::replyFieldCodes()
{
    QFETCH(QByteArray, field);
    QFETCH(int, range);
    QFETCH(int, sensor);
    QCOMPARE(IRangeIndex(field), range);
    QCOMPARE(SensIndex(field), sensor);
}

void TestSettingsCodec::replyFits_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("fits");
    const auto row = [](const char* query, const char* reply, bool fits) {
        QTest::newRow(qPrintable(QByteArray(query) + " " + QByteArray(reply).trimmed()))
            << QByteArray(query) << QByteArray(reply) << fits;
    };
    row(":SAMP?", "pll\r\n", true); // an unknown word leaves the setting alone
    row(":WIR?", "ALL RIGHT\r\n", false);
    row(":WIR?", "LL RIGHT\r\n", false); // its start discarded by the next command
    row(":LANG?", "COMMAND ERROR\r\n", false);
    row(":WIR?", "300\r\n1P2W\r\n", false);
    row(":BEEP?", "ON\n", false);
    row(":VOLT:RANG?", "500,500,500,500\r\n", false);
    row(":AVE?", "OFF\r\n", false);
    row(":VT?", " -1.5E+3 \r\n", true);
    row(":VT?", "1.5E\r\n", false);
    row(":CT?", "0.5,2.5,1,1\r\n", true);
    row(":CT?", "1,1,1\r\n", false);
    row(":SENS?", "CLA,,CLB,CLB\r\n", false);
    row("FILE:MEAS?", "NO FILENAME\r\n", true);
    row(":HEAD OFF", "1P2W\r\n", true); // not examined
}

void TestSettingsCodec::replyFits()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, reply);
    QFETCH(bool, fits);
    QCOMPARE(ReplyFits(query, reply), fits);
}

// Catches: a sensor that keeps a range it cannot measure, a range replaced that it can, or
// the wrong replacement (ranges 0.5, 1, 5, 10, 50, 100, 200, 500, 1k, 5k).
void TestSettingsCodec::sensorRule()
{
    const int table[SensorRule::SensorCount][SensorRule::RangeCount] = {
        {5, 5, 2, 3, 4, 5, 5, 5, 5, 5}, // CLA
        {7, 7, 2, 3, 4, 5, 5, 7, 7, 7}, // CLB
        {7, 7, 7, 7, 7, 7, 7, 7, 7, 7}, // FLX-500
        {9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, // FLX-5k
        {8, 8, 8, 8, 8, 5, 6, 8, 8, 8}, // CLC
        {0, 1, 2, 2, 2, 2, 2, 2, 2, 2}, // CLD
    };
    for (int s = 0; s < SensorRule::SensorCount; ++s)
        for (int r = 0; r < SensorRule::RangeCount; ++r)
            QVERIFY2(SensorRule::allowedRange(s, r) == table[s][r],
                     qPrintable(QStringLiteral("sensor %1 range %2").arg(s).arg(r)));
    QCOMPARE(SensorRule::allowedRange(-1, 4), 4); // no sensor: no rule
}

// Catches: a count above the wiring's largest kept, an allowed one refused, or a refused
// count falling back to the largest instead of one circuit.
void TestSettingsCodec::wiringRule()
{
    const int largest[6] = {4, 2, 2, 1, 1, 1};
    for (int w = 0; w < 6; ++w)
        for (int c = 1; c <= 4; ++c)
            QVERIFY2(WiringRule::allowedCount(w, c) == (c <= largest[w] ? c : 1),
                     qPrintable(QStringLiteral("wiring %1 x%2").arg(w).arg(c)));
}

QTEST_GUILESS_MAIN(TestSettingsCodec)
#include "test_settings_codec.moc"
