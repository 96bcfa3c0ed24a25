// The pure parts of pqlink-cli: the command line, the NAME=VALUE settings text and the
// output rows.

#include "CliArgs.h"
#include "CliOutput.h"
#include "MeasLists.h"
#include "ModSet.h"
#include "Printable.h"
#include "SettingsText.h"

#include <QRegularExpression>
#include <QTest>

class TestCliText : public QObject
{
    Q_OBJECT
private slots:
    void parsesCommandLines_data();
    void parsesCommandLines();
    void appliesSettingLines_data();
    void appliesSettingLines();
    void formatReadsBackUnchanged();
    void rowsKeepItemOrder();
    void printable();
};

void TestCliText::parsesCommandLines_data()
{
    QTest::addColumn<QString>("line");
    // The action and fields the command must have, or "error: <start of the error>".
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* line, const char* expected) {
        QTest::newRow(line) << QString::fromLatin1(line) << QString::fromLatin1(expected);
    };
    row("measure --count 3 --interval 0.25 --log d.log",
        "Measure n=3 ms=250 log=d.log port=1 baud=9600");
    row("-p com3 -b 38400 record status", "RecordStatus n=1 ms=1000 log= port=3 baud=38400");
    row("--port=/dev/ttyUSB0 files get A.DAT B.DAT -d /x --restart",
        "FilesGet names=A.DAT,B.DAT dir=/x restart=1 dev=/dev/ttyUSB0");
    row("--modem 123 --init ATZ settings get --json", "SettingsGet json=1 modem=123/ATZ");
    row("frobnicate", "error: unknown command frobnicate");
    row("measure --bogus", "error: unknown option --bogus");
    row("files list --json", "error: option --json does not apply");
    row("-p COM9 ports", "error: port COM9");
    row("-b 4800 ports", "error: baud rate 4800");
    row("measure --interval 0.05", "error: --interval");
    row("measure --count -1", "error: --count");
    row("memory format", "error: memory format erases every stored file");
    row("settings set", "error: settings set needs one FILE");
    row("--init ATZ measure", "error: --init applies only with --modem");
    row("record", "error: unknown command record");
    row("", "error: no command");
    // serve's options, those before its word included, go to its own parser.
    row("-p COM2 serve --interval 5 -b 9600", "Serve serve=-p,COM2,--interval,5,-b,9600");
    row("measure serve", "error: unexpected argument serve");
}

// Catches: a value parsed into the wrong field, an option taken by a command it does not
// apply to, a bad port, speed, count or interval accepted, format run without --yes.
void TestCliText::parsesCommandLines()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    const CliParse p = ParseCliArgs(line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    if (!p.command) {
        QVERIFY2(("error: " + p.error).startsWith(expected), qPrintable(p.error));
        return;
    }
    const CliCommand& c = *p.command;
    const char* const actions[] = {"Help",         "Version",   "Ports",       "SettingsGet",
                                   "SettingsSet",  "Measure",   "RecordStart", "RecordStop",
                                   "RecordStatus", "FilesList", "FilesGet",    "FilesDelete",
                                   "MemoryFormat", "Serve"};
    // Every field, so that a value parsed into the wrong one shows.
    QStringList got{QString::fromLatin1(actions[int(c.action)])};
    got << "port=" + QString::number(c.portNumber) << "dev=" + c.devicePath
        << "baud=" + QString::number(c.baud)
        << "modem=" + (c.modem ? c.modemNumber + '/' + c.modemInit : "-")
        << "json=" + QString::number(c.json) << "file=" + c.file
        << "clock=" + QString::number(c.clock) << "n=" + QString::number(c.count)
        << "ms=" + QString::number(c.intervalMs) << "log=" + c.logPath
        << "names=" + c.names.join(',') << "dir=" + c.directory
        << "restart=" + QString::number(c.restart) << "serve=" + c.serveArgs.join(',');
    for (const QString& want : expected.split(' '))
        QVERIFY2(got.contains(want), qPrintable(want + " is not in " + got.join(' ')));
}

void TestCliText::appliesSettingLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected"); // "ok" or the start of the error

    const auto row = [](const char* tag, const char* text, const char* expected) {
        QTest::newRow(tag) << QByteArray(text) << QString::fromLatin1(expected);
    };
    // The received record these lines apply to: 3P3W3M with two circuits, CLB at range 500.
    row("list texts, blanks and case ignored",
        " Wiring = 1p3w \n\n# comment\nCirNum=x2\nsens[2]=FLX-5K\nIRange[2]=5k\nAverage=10\n"
        "CopyDst=#2\nDataFName= A B \nCT[2]=0.5\nOrd[40]=1\nStartY=2027\n",
        "ok");
    row("not NAME=VALUE", "Wiring=1P3W\nWiring 1P3W", "line 2: \"Wiring 1P3W\" is not");
    row("unknown name", "Foo=1", "line 1: unknown setting \"Foo\"");
    row("off the list", "Intvl=3s", "line 1: Intvl=3s: Intvl takes one of ALL WAVE, 100ms");
    row("not a whole number", "StartY=20x", "line 1: StartY=20x: StartY takes a whole");
    row("not a number", "VT=abc", "line 1: VT=abc: VT takes a number");
    row("flag", "Norm=2", "line 1: Norm=2: Norm takes 0 or 1");
    row("wiring rule", "CirNum=x3\nWiring=1P3W",
        "line 2: CirNum=x3 with Wiring=1P3W breaks the wiring rule");
    row("sensor rule", "Sens[1]=CLA\nIRange[1]=5k",
        "line 2: IRange[1]=5k with Sens[1]=CLA breaks the sensor rule");
    row("control bytes quoted", "Foo\x1b[2J\xff=1", "line 1: unknown setting \"Foo\\x1B[2J\\xFF\"");
    // A pair the lines leave as received is sent as received, whatever the rules say.
    row("untouched pair", "Freq=60Hz", "ok");
    row("pairs as received", "Sens[3]=CLB\nIRange[3]=5k\nWiring=3P3W3M\nCirNum=x2", "ok");
}

// Catches: a line the program cannot use applied or refused without its line number; a pair
// the file changes against the dialog's rules sent; a pair left as received refused; a
// refused text changing the record; the file's bytes quoted raw.
void TestCliText::appliesSettingLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    ModSet base;
    base.Wiring = 3, base.CirNum = 2, base.Average = 1; // one circuit is all 3P3W3M allows
    base.Sens = {0, 1, 1, 1, 1};
    base.IRange = {0, 7, 7, 9, 7}; // CLB cannot measure 5k
    ModSet set = base;
    const SettingsText::ApplyResult r = SettingsText::apply(text, set);
    if (expected == QLatin1String("ok")) {
        QVERIFY2(r.ok, qPrintable(r.error));
        ModSet want = base; // what the first row sets, and nothing else
        want.Wiring = 1, want.Sens[2] = 3, want.IRange[2] = 9, want.Average = 10;
        want.CopyDst = 2, want.CT[2] = 0.5, want.Ord[40] = true, want.StartY = 2027;
        want.DataFName = QStringLiteral("A B");
        if (text.contains("Average"))
            QVERIFY(set == want);
        return;
    }
    QVERIFY(!r.ok);
    QVERIFY2(r.error.startsWith(expected), qPrintable(r.error));
    QVERIFY2(set == base, "a refused text must leave the record as it was");
}

// Catches: a setting that settings get does not print or settings set does not read back.
void TestCliText::formatReadsBackUnchanged()
{
    // Every kind of field with a value other than zero, so a field that is not written or not
    // read back shows.
    ModSet s;
    s.Wiring = 5, s.CirNum = 4, s.Average = 20, s.VT = 1234.5, s.StopMeth = 2, s.Timer3 = 17;
    s.CT = {0, 0.1, 2, 3000, 1e-3};
    s.Sens = {0, 5, 4, 3, 2};
    s.IRange = {0, 9, 0, 1, 2};
    s.Intvl = 16, s.CopyDst = 2, s.OrdType = 3, s.Flow = 3, s.Lang = 5, s.ID = -4;
    s.DataFName = QStringLiteral("RUN 7");
    s.U[3] = s.I[4] = s.Circuit[1] = s.Ord[1] = s.Ord[39] = s.Wave = s.Total = true;
    ModSet back;
    const SettingsText::ApplyResult r =
        SettingsText::apply(SettingsText::format(s).toUtf8(), back, false);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(back == s);
    QVERIFY(SettingsText::format(s).contains(QLatin1String("\nSens[3]=FLX-5k\nSens[4]=FLX-500\n")));
    // Catches: a setting numbered from 0, or past the fourth circuit or the third voltage.
    QVERIFY(!SettingsText::format(s).contains(
        QRegularExpression("\\[0\\]|(Sens|IRange|CT|Circuit|\\bI)\\[([5-9]|\\d\\d)\\]|U\\[4\\]")));
}

// Catches: items out of order in the CSV or JSON rows, a quote not escaped in JSON, a time
// without its offset.
void TestCliText::rowsKeepItemOrder()
{
    MeasLists lists;
    const int n = lists.SplitHeaderData("U1 +100.1,CH1 P +5.0,f +50\r\n");
    QCOMPARE(CliOutput::csvHeader(lists, n), QStringLiteral("time,U1,CH1 P,f"));
    QCOMPARE(CliOutput::csvRow(QStringLiteral("T"), lists, n), QStringLiteral("T,+100.1,+5.0,+50"));
    QCOMPARE(
        CliOutput::jsonRow(QStringLiteral("T\""), lists, n),
        QStringLiteral("{\"time\":\"T\\\"\",\"U1\":\"+100.1\",\"CH1 P\":\"+5.0\",\"f\":\"+50\"}"));
    const QDateTime t(QDate(2026, 12, 7), QTime(1, 2, 3), Qt::OffsetFromUTC, 3600);
    QCOMPARE(CliOutput::isoTime(t), QStringLiteral("2026-12-07T01:02:03+01:00"));
}

// Catches: control bytes or bytes that are no UTF-8 printed raw, a long text printed whole or
// cut short, ordinary names and values changed.
void TestCliText::printable()
{
    const std::pair<QByteArray, QString> rows[] = {
        {"MEAS0001.DAT", "MEAS0001.DAT"},
        {"U1 +1.5E+02 ±5 Größe 設定 😀", "U1 +1.5E+02 ±5 Größe 設定 😀"},
        {"\x1b[2J\a\t\x7f", "\\x1B[2J\\x07\\x09\\x7F"},
        {"\xc2\x9b"
         "1m\xff\xc3(\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82",
         "\\x9B1m\\xFF\\xC3(\\xE0\\x80\\xAF\\xED\\xA0\\x80\\xF4\\x90\\x80\\x80\\xE2\\x82"},
        {QByteArray(80, 'a'), QString(80, 'a')},
        {QByteArray("\xc3\xa9").repeated(81), QString(80, QChar(0xe9)) + "… (81 characters)"},
    };
    for (const auto& [bytes, shown] : rows)
        QCOMPARE(Printable(bytes, 80), shown);
}

QTEST_GUILESS_MAIN(TestCliText)
#include "test_cli_text.moc"
