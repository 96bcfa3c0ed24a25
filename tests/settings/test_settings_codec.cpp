// The settings' number reader and number forms, the item words, the reply splitters and the
// sensor rule.

#include "ItemWords.h"
#include "ModSet.h"
#include "NumberText.h"
#include "RecvSettings.h"
#include "ReplyFits.h"
#include "SensorRule.h"
#include "SettingsCodec.h"
#include "SettingsTable.h"

#include <QTest>

#include <cmath>
#include <tuple>

using Fields = QList<QByteArray>;

class TestSettingsCodec : public QObject
{
    Q_OBJECT
private slots:
    void numberReader();
    void numberForms();
    void itemWordsBits();
    void replyFields();
    void replyFits();
    void sensorRule();
};

// Catches: a number read past a character it must stop at, blanks not skipped, a
// rounding that is not to even, or an out-of-range integer taken as a value.
void TestSettingsCodec::numberReader()
{
    const double inf = HUGE_VAL;
    // The integer read, or "out" outside the 32-bit range.
    const std::tuple<QString, double, const char*> rows[] = {
        {"12abc", 12.0, "12"},                        // digits then letters
        {" 1 2 3", 123.0, "123"},                     // blanks inside
        {"\t-1.5\ne2", -150.0, "-150"},               // tab, LF, exponent
        {"1\r2", 1.0, "1"},                           // CR is not ignored
        {"-.5", -0.5, "0"},                           // fraction only
        {"1.5e", 1.5, "2"},                           // a bare exponent letter
        {"2.5.3,1", 2.5, "2"},                        // a second point, a comma
        {"3.5", 3.5, "4"},                            // to even
        {QStringLiteral("１2"), 0.0, "0"},            // a full-width digit is no digit
        {"2147483647.4", 2147483647.4, "2147483647"}, // the largest
        {"2147483647.5", 2147483647.5, "out"},        // rounds out of range
        {"-2147483649", -2147483649.0, "out"},        // one under
        {"-12345e999", -inf, "out"},                  // overflow
        {"000.0001e-400", 0.0, "0"},                  // underflow
        {"1e99999999999999999999", inf, "out"},       // exponent past 64 bits
    };
    for (const auto& [text, value, integer] : rows) {
        QCOMPARE(ReadNumber(text), value);
        QCOMPARE(RealValue(text.toLatin1()).has_value(), std::isfinite(value));
        const std::optional<qint32> i = IntegerValue(text);
        QCOMPARE(i ? QString::number(*i) : QStringLiteral("out"), QLatin1String(integer));
    }
}

// Catches: a leading zero or sign blank wrong, an exponent where none belongs, more than
// 15 significant digits sent.
void TestSettingsCodec::numberForms()
{
    const std::tuple<double, const char*, const char*> rows[] = {
        {2003.0, " 2003", "2003"},
        {0.5, " .5", "0.5"},
        {-0.25, "-.25", "-0.25"},
        {100000.00001, " 100000.00001", "100000.00001"}, // no exponent
        {0.1 + 0.2, " .3", "0.3"},                       // 15 digits
        {2.0 / 3, " .666666666666667", "0.666666666666667"},
        {9.9999999999999999, " 10", "10"}, // rounding carries
        {1.5e20, " 1.5E+20", "1.5E+20"},
        {-2e-20, "-2E-20", "-2E-20"},
    };
    for (const auto& [value, blank, plain] : rows) {
        QCOMPARE(BlankForm(value), QLatin1String(blank));
        QCOMPARE(PlainForm(value), QLatin1String(plain));
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

// Catches: a field kept with its CR LF, a missing field not empty, a reply split past the
// count asked for; a range or sensor word matched in the wrong case, untrimmed, or as a prefix.
void TestSettingsCodec::replyFields()
{
    const std::tuple<QByteArray, int, Fields> splits[] = {
        {"5,1000,2,5000\r\n", 4, {"5", "1000", "2", "5000"}},
        {" 1,,3 ,4\r\n", 3, {" 1", "", "3 "}}, // untrimmed, the extra ignored
        {"a,b\r\n", 4, {"a", "b", "", ""}},
        {"\n", 3, {"", "", ""}},
        {"1,22\n", 2, {"1", "2"}}, // only the last two characters are dropped
    };
    for (const auto& [reply, n, fields] : splits)
        QCOMPARE(SplitFields(reply, n), fields);
    // The range and sensor codes of the fields; a field that is no range or sensor gives 0.
    ModSet s;
    s.IRange = s.Sens = {5, 5, 5, 5, 5};
    StoreReply(*SettingsTable::rowOf(":CURR:RANG?"), "1, 1E3,7,5000\r\n", s); // "7" is no range
    StoreReply(*SettingsTable::rowOf(":SENS?"), "FLX-5k,FLX-5K, CLD,CLD\r\n", s);
    QVERIFY(s.IRange == (std::array<qint32, 5>{5, 1, 8, 0, 9}));
    QVERIFY(s.Sens == (std::array<qint32, 5>{5, 3, 0, 0, 5}));
}

// Catches: a reply taken as the answer to a query although its form cannot be (a late reply
// to another command), or a fitting one refused.
void TestSettingsCodec::replyFits()
{
    const std::tuple<QByteArray, QByteArray, bool> rows[] = {
        {":SAMP?", "pll\r\n", true}, // an unknown word leaves the setting alone
        {":WIR?", "ALL RIGHT\r\n", false},
        {":WIR?", "LL RIGHT\r\n", false}, // its start discarded by the next command
        {":LANG?", "COMMAND ERROR\r\n", false},
        {":WIR?", "300\r\n1P2W\r\n", false},
        {":BEEP?", "ON\n", false},
        {":VOLT:RANG?", "500,500,500,500\r\n", false},
        {":AVE?", "OFF\r\n", false},
        {":VT?", " -1.5E+3 \r\n", true},
        {":VT?", "1.5E\r\n", false},
        {":CT?", "0.5,2.5,1,1\r\n", true},
        {":CT?", "1,1,1\r\n", false},
        {":SENS?", "CLA,,CLB,CLB\r\n", false},
        {"FILE:MEAS?", "NO FILENAME\r\n", true},
        {":HEAD OFF", "1P2W\r\n", true}, // not examined
    };
    for (const auto& [query, reply, fits] : rows)
        QVERIFY2(ReplyFits(query, reply) == fits, (query + ' ' + reply).constData());
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

QTEST_GUILESS_MAIN(TestSettingsCodec)
#include "test_settings_codec.moc"
