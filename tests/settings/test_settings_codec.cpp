// The settings' text and number codecs: the number reader, the two number forms, the item
// words and the reply splitters.

#include "ItemWords.h"
#include "ModSet.h"
#include "NumberText.h"
#include "SettingsCodec.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <limits>

using Fields = QList<QByteArray>;

class TestSettingsCodec : public QObject
{
    Q_OBJECT
private slots:
    void numberReader_data();
    void numberReader();
    void integerReader_data();
    void integerReader();
    void numberForms_data();
    void numberForms();
    void formsReadBack();
    void itemWordsDecode_data();
    void itemWordsDecode();
    void itemWordsEncode();
    void itemWordsRoundTrip();
    void splitFields_data();
    void splitFields();
    void replyFieldCodes_data();
    void replyFieldCodes();
    void codesWithoutText();
};

void TestSettingsCodec::numberReader_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("digits then letters") << "12abc" << 12.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("blanks inside") << " 1 2 3" << 123.0;
    QTest::newRow("tab, LF, exponent") << "\t-1.5e2\n" << -150.0;
    QTest::newRow("CR ends the number") << "5.\r\n" << 5.0;
    QTest::newRow("CR not ignored") << "1\r2" << 1.0;
    QTest::newRow("fraction only") << ".5" << 0.5;
    QTest::newRow("negative fraction") << "-.5" << -0.5;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("exponent letter alone") << "1.5e" << 1.5;
    QTest::newRow("exponent sign alone") << "2E+" << 2.0;
    QTest::newRow("capital exponent") << "25E-1x" << 2.5;
    QTest::newRow("comma stops") << "1,5" << 1.0;
    QTest::newRow("two signs") << "--1" << 0.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("second point") << "1.2.3" << 1.2;
    QTest::newRow("full-width digit") << QStringLiteral("１2") << 0.0;
    QTest::newRow("overflow") << "1e400" << inf;
    QTest::newRow("negative overflow") << "-12345e999" << -inf;
    QTest::newRow("underflow") << "1e-400" << 0.0;
    QTest::newRow("underflow with leading zeros") << "000.0001e-400" << 0.0;
}

void TestSettingsCodec::numberReader()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(ReadNumber(text), value);
    QCOMPARE(ReadNumber(text.toLatin1()), value);
    QCOMPARE(RealValue(text).has_value(), std::isfinite(value));
}

void TestSettingsCodec::integerReader_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("inRange");
    QTest::addColumn<int>("value");
    QTest::newRow("12abc") << "12abc" << true << 12;
    QTest::newRow("abc") << "abc" << true << 0;
    QTest::newRow("1.5 up to even") << "1.5" << true << 2;
    QTest::newRow("2.5 down to even") << "2.5" << true << 2;
    QTest::newRow("3.5 up to even") << "3.5" << true << 4;
    QTest::newRow("-2.5") << "-2.5" << true << -2;
    QTest::newRow("2.51") << "2.51" << true << 3;
    QTest::newRow("-0.5") << "-0.5" << true << 0;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
    QTest::newRow("largest, .4") << "2147483647.4" << true << 2147483647;
    QTest::newRow("largest, .5 rounds out") << "2147483647.5" << false << 0;
    QTest::newRow("one over") << "2147483648" << false << 0;
    QTest::newRow("smallest") << "-2147483648" << true << int(-2147483648LL);
    QTest::newRow("one under") << "-2147483649" << false << 0;
    QTest::newRow("exponent out") << "1e10" << false << 0;
    QTest::newRow("overflow") << "1e999" << false << 0;
}

void TestSettingsCodec::integerReader()
{
    QFETCH(QString, text);
    QFETCH(bool, inRange);
    QFETCH(int, value);
    const std::optional<qint32> v = IntegerValue(text);
    QCOMPARE(v.has_value(), inRange);
    if (inRange)
        QCOMPARE(*v, value);
}

void TestSettingsCodec::numberForms_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("blank");
    QTest::addColumn<QString>("plain");
    QTest::newRow("2") << 2.0 << " 2"
                       << "2";
    QTest::newRow("2003") << 2003.0 << " 2003"
                          << "2003";
    QTest::newRow("1.5") << 1.5 << " 1.5"
                         << "1.5";
    QTest::newRow("0.5") << 0.5 << " .5"
                         << "0.5";
    QTest::newRow("0") << 0.0 << " 0"
                       << "0";
    QTest::newRow("-0") << -0.0 << " 0"
                        << "0";
    QTest::newRow("-3") << -3.0 << "-3"
                        << "-3";
    QTest::newRow("-0.25") << -0.25 << "-.25"
                           << "-0.25";
    QTest::newRow("100000, no exponent") << 100000.0 << " 100000"
                                         << "100000";
    QTest::newRow("0.00001, no exponent") << 0.00001 << " .00001"
                                          << "0.00001";
    QTest::newRow("0.1 + 0.2 at 15 digits") << 0.1 + 0.2 << " .3"
                                            << "0.3";
    QTest::newRow("1/3") << 1.0 / 3 << " .333333333333333"
                         << "0.333333333333333";
    QTest::newRow("2/3 rounds") << 2.0 / 3 << " .666666666666667"
                                << "0.666666666666667";
    QTest::newRow("15 digits kept") << 1234.56789012345 << " 1234.56789012345"
                                    << "1234.56789012345";
    QTest::newRow("rounding carries") << 9.9999999999999999 << " 10"
                                      << "10";
    QTest::newRow("largest ordinary") << 999999999999999.0 << " 999999999999999"
                                      << "999999999999999";
    QTest::newRow("huge") << 1.5e20 << " 1.5E+20"
                          << "1.5E+20";
    QTest::newRow("tiny") << -2e-20 << "-2E-20"
                          << "-2E-20";
}

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
            const double back = ReadNumber(text);
            if (std::fabs(back - v) > 1e-14 * std::fabs(v))
                QFAIL(qPrintable(QStringLiteral("%1 written as \"%2\" reads %3")
                                     .arg(v, 0, 'g', 17)
                                     .arg(text)
                                     .arg(back, 0, 'g', 17)));
        }
    }
}

void TestSettingsCodec::itemWordsDecode_data()
{
    QTest::addColumn<int>("word1");
    QTest::addColumn<int>("word2");
    QTest::addColumn<int>("ordType");
    QTest::addColumn<bool>("harm");
    QTest::newRow("no selection bit: SELECT") << 0 << 0 << 3 << false;
    QTest::newRow("ALL") << 0 << 128 << 0 << false;
    QTest::newRow("ODD beats ALL") << 0 << 192 << 1 << false;
    QTest::newRow("EVEN beats ODD") << 0 << 96 << 2 << false;
    QTest::newRow("EVEN beats ALL") << 0 << 160 << 2 << false;
    QTest::newRow("all three") << 0 << 255 << 2 << false;
    QTest::newRow("item bits do not select") << 0 << 31 << 3 << false;
    QTest::newRow("THD alone gives HARM") << 16 << 0 << 3 << true;
    QTest::newRow("LEVEL alone gives HARM") << 1 << 0 << 3 << true;
    QTest::newRow("NORM is not a harmonic item") << 64 << 0 << 3 << false;
    QTest::newRow("unused bits 5 and 7") << 160 << 0 << 3 << false;
}

void TestSettingsCodec::itemWordsDecode()
{
    QFETCH(int, word1);
    QFETCH(int, word2);
    QFETCH(int, ordType);
    QFETCH(bool, harm);
    ModSet s;
    s.Harm = !harm;
    DecodeItemWords({word1, word2, 0, 0, 0, 0, 0, 0, 0}, s);
    QCOMPARE(s.OrdType, ordType);
    QCOMPARE(s.Harm, harm);
    // Bits that carry nothing must not come back when the words are written again.
    const ItemWords again = EncodeItemWords(s);
    QCOMPARE(again[0], word1 & 0x5F);
}

void TestSettingsCodec::itemWordsEncode()
{
    ModSet all;
    all.Norm = all.Harm = all.Integ = all.Inst = all.Ave = all.Max = all.Min = true;
    all.Circuit.fill(true);
    all.U.fill(true);
    all.I.fill(true);
    all.P = all.Wave = true;
    all.Level = all.Percent = all.Phase = all.THD = all.Total = true;
    all.Ord.fill(true);
    all.OrdType = 0;
    QCOMPARE(DataItemText(all),
             QStringLiteral(":DATA:ITEM 95, 159, 15, 255, 255, 255, 255, 255, 255"));
    ModSet none;
    none.OrdType = 3;
    QCOMPARE(DataItemText(none), QStringLiteral(":DATA:ITEM 0, 0, 0, 0, 0, 0, 0, 0, 0"));

    // Each flag lands on its own bit.
    ModSet one;
    one.OrdType = 3;
    one.Percent = true;         // word 1 bit 1
    one.Total = true;           // word 1 bit 3
    one.Norm = true;            // word 1 bit 6
    one.Min = true;             // word 2 bit 3
    one.Integ = true;           // word 2 bit 4
    one.Circuit[3] = true;      // word 3 bit 2
    one.U[2] = true;            // word 4 bit 1
    one.I[4] = true;            // word 4 bit 6
    one.Ord[1] = true;          // word 5 bit 0
    one.Ord[9] = true;          // word 6 bit 0
    one.Ord[24] = true;         // word 7 bit 7
    one.Ord[40] = true;         // word 9 bit 7
    one.Harm = one.Wave = true; // not in the words
    QCOMPARE(EncodeItemWords(one), (ItemWords{74, 24, 4, 66, 1, 1, 128, 0, 128}));
    one.OrdType = 1;
    QCOMPARE(EncodeItemWords(one)[1], 24 + 64);
    one.OrdType = 2;
    QCOMPARE(EncodeItemWords(one)[1], 24 + 32);
}

void TestSettingsCodec::itemWordsRoundTrip()
{
    QRandomGenerator rng(17);
    for (int i = 0; i < 500; ++i) {
        ItemWords w{};
        for (int& x : w)
            x = int(rng.bounded(256));
        w[0] &= 0x5F;
        w[2] &= 0x0F;
        w[1] = (w[1] & 0x1F) | std::array{0, 32, 64, 128}[rng.bounded(4)];
        ModSet s;
        DecodeItemWords(w, s);
        QCOMPARE(EncodeItemWords(s), w);
    }
}

void TestSettingsCodec::splitFields_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("n");
    QTest::addColumn<Fields>("fields");
    QTest::newRow("four") << QByteArray("5,1000,2,5000\r\n") << 4
                          << Fields{"5", "1000", "2", "5000"};
    QTest::newRow("not trimmed") << QByteArray(" 1, 2,3 \r\n") << 3 << Fields{" 1", " 2", "3 "};
    QTest::newRow("extra ignored") << QByteArray("1,2,3,4,5\r\n") << 3 << Fields{"1", "2", "3"};
    QTest::newRow("missing are empty") << QByteArray("a,b\r\n") << 4 << Fields{"a", "b", "", ""};
    QTest::newRow("empty inside") << QByteArray(",,x\r\n") << 3 << Fields{"", "", "x"};
    QTest::newRow("CR LF only") << QByteArray("\r\n") << 3 << Fields{"", "", ""};
    QTest::newRow("LF only") << QByteArray("\n") << 3 << Fields{"", "", ""};
    QTest::newRow("nothing") << QByteArray() << 4 << Fields{"", "", "", ""};
    // Only the last two characters are dropped, whatever they are.
    QTest::newRow("LF without CR") << QByteArray("1,22\n") << 2 << Fields{"1", "2"};
}

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
    QTest::newRow("1000 as number") << QByteArray("1E3") << 8 << 0;
    QTest::newRow("5000") << QByteArray("5000") << 9 << 0;
    QTest::newRow("blank before") << QByteArray(" 50") << 4 << 0;
    QTest::newRow("no such range") << QByteArray("7") << 0 << 0;
    QTest::newRow("FLX-5k") << QByteArray("FLX-5k") << 0 << 3;
    QTest::newRow("FLX-5K is not known") << QByteArray("FLX-5K") << 0 << 0;
    QTest::newRow("CLD") << QByteArray("CLD") << 0 << 5;
    QTest::newRow("CLD untrimmed") << QByteArray(" CLD") << 0 << 0;
    QTest::newRow("FLX-500") << QByteArray("FLX-500") << 0 << 2;
    QTest::newRow("empty") << QByteArray() << 0 << 0;
}

void TestSettingsCodec::replyFieldCodes()
{
    QFETCH(QByteArray, field);
    QFETCH(int, range);
    QFETCH(int, sensor);
    QCOMPARE(IRangeIndex(field), range);
    QCOMPARE(SensIndex(field), sensor);
}

void TestSettingsCodec::codesWithoutText()
{
    for (qint32 code : {-1, 17, 1000})
        QVERIFY(IntvlText(code).isEmpty());
    for (qint32 code : {-1, 6})
        QVERIFY(SensText(code).isEmpty());
    for (qint32 code : {-1, 10})
        QVERIFY(IRangeText(code).isEmpty());
    QCOMPARE(SensText(3), QStringLiteral("FLX-5K"));
}

QTEST_GUILESS_MAIN(TestSettingsCodec)
#include "test_settings_codec.moc"
