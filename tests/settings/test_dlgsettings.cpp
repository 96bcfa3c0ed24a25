// The settings dialog driven as a user drives it, against the simulated instrument.

#include "DlgSettings.h"
#include "Link.h"
#include "ModSet.h"
#include "SimBench.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>

namespace {

template <class T> T* find(QWidget* dlg, const QString& name)
{
    T* w = dlg->findChild<T*>(name);
    if (!w)
        qWarning("no control %s", qPrintable(name));
    return w;
}

// Brings the tab holding w to the front by clicking its tab, as the user would.
void showTabOf(QWidget* dlg, QWidget* w)
{
    auto* tabs = find<QTabWidget>(dlg, QStringLiteral("SSTab1"));
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->widget(i)->isAncestorOf(w) && tabs->currentIndex() != i)
            QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {},
                              tabs->tabBar()->tabRect(i).center());
}

// Opens the list, moves to the item with the keys and presses Return: one user choice.
void choose(QWidget* dlg, QComboBox* combo, int index)
{
    showTabOf(dlg, combo);
    QVERIFY2(combo->isVisible() && combo->isEnabled(), qPrintable(combo->objectName()));
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    QTRY_VERIFY(view->isVisible());
    QTest::keyClick(view, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!view->isVisible());
}

void click(QWidget* dlg, QAbstractButton* button)
{
    showTabOf(dlg, button);
    QVERIFY2(button->isVisible() && button->isEnabled(), qPrintable(button->objectName()));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

// Replaces the field's text as the user does: everything selected, then typed over
// (paste: inserted in one piece).
void typeInto(QWidget* dlg, QLineEdit* edit, const QString& text, bool paste = false)
{
    showTabOf(dlg, edit);
    edit->setFocus();
    edit->selectAll();
    if (paste) {
        edit->insert(text); // replaces the selection in one change
        return;
    }
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

QStringList items(const QComboBox* combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

bool rowEnabled(DlgSettings& dlg, int k)
{
    const bool e = dlg.comboSens(k)->isEnabled();
    if (dlg.comboIRange(k)->isEnabled() != e || dlg.textCT(k)->isEnabled() != e)
        qWarning("row %d is partly enabled", k);
    return e;
}

QList<QByteArray> queries(const QList<QByteArray>& lines)
{
    QList<QByteArray> out;
    for (const QByteArray& l : lines)
        if (l.endsWith('?'))
            out << l;
    return out;
}

} // namespace

class TestDlgSettings : public QObject
{
    Q_OBJECT
private slots:
    void init() { ModSet::instance() = ModSet{}; }

    void frame();
    void listItems_data();
    void listItems();
    void sensorRule_data();
    void sensorRule();
    void wiringRule_data();
    void wiringRule();
    void listsAndBoxesStoreTheirOwnSetting();
    void circuitRows();
    void stopLayoutFollowsMethod();
    void startFieldsAndOrderBoxes();
    void codesWithoutEntryShowNoSelection();
    void displayLeavesRecordUnchanged();
    void entryFields_data();
    void entryFields();
    void fileNameTrimmed();
    void closeAndReopenKeepsEdits();
    void sendFromTheDialog();
    void receiveShowsInstrumentSettings();
    void receiveTimeoutStillRefreshes();
    void unloadDuringSend();
};

void TestDlgSettings::frame()
{
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("SETTINGS"));
    auto* tabs = find<QTabWidget>(&dlg, QStringLiteral("SSTab1"));
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i)
        captions << tabs->tabText(i).remove(QLatin1Char('&'));
    QCOMPARE(captions, QStringList({"Measure", "Output", "Save items", "Harmonic", "System"}));
    QCOMPARE(tabs->currentIndex(), 0);

    auto* recv = find<QPushButton>(&dlg, QStringLiteral("CommandRecv"));
    auto* send = find<QPushButton>(&dlg, QStringLiteral("CommandSend"));
    auto* close = find<QPushButton>(&dlg, QStringLiteral("CommandClose"));
    QCOMPARE(TestUtil::caption(recv), QStringLiteral("RECEIVE"));
    QCOMPARE(TestUtil::caption(send), QStringLiteral("SEND"));
    QCOMPARE(TestUtil::caption(close), QStringLiteral("CLOSE"));
    QVERIFY(recv->x() < send->x() && send->x() < close->x());
    QCOMPARE(recv->y(), close->y());
    QVERIFY(recv->y() > tabs->geometry().bottom());
    QCOMPARE(TestUtil::caption(find<QCheckBox>(&dlg, QStringLiteral("CheckInteg"))),
             QStringLiteral("INTEG. & DEM"));
    QCOMPARE(TestUtil::caption(find<QCheckBox>(&dlg, QStringLiteral("CheckAdjust"))),
             QStringLiteral("Set the Kestrel's clock to PC's clock"));
    QCOMPARE(TestUtil::caption(dlg.checkOrd(0)), QStringLiteral("01"));
    QCOMPARE(TestUtil::caption(dlg.checkOrd(39)), QStringLiteral("40"));

    // Return in a field must not start an exchange with the instrument.
    bench.clearWire();
    typeInto(&dlg, dlg.textCT(0), QStringLiteral("2"));
    QTest::keyClick(dlg.textCT(0), Qt::Key_Return);
    QVERIFY(bench.wire().isEmpty());
    QVERIFY(dlg.isVisible());

    // Every list and entry field has a name to be read by: its label or its own.
    QSet<QWidget*> labelled;
    for (QLabel* label : dlg.findChildren<QLabel*>())
        if (label->buddy())
            labelled.insert(label->buddy());
    int fields = 0;
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        if (!qobject_cast<QComboBox*>(w) && !qobject_cast<QLineEdit*>(w))
            continue;
        ++fields;
        QVERIFY2(labelled.contains(w) || !w->accessibleName().isEmpty(),
                 qPrintable(w->objectName()));
    }
    QCOMPARE(fields, 46);
}

void TestDlgSettings::listItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("alwaysDisabled");
    QTest::newRow("wiring") << "ComboWiring"
                            << QStringList{"1P2W", "1P3W", "3P3W2M", "3P3W3M", "3P4W", "3P4W4I"}
                            << false;
    QTest::newRow("count") << "ComboCirNum" << QStringList{"x1", "x2", "x3", "x4"} << false;
    QTest::newRow("sampling") << "ComboSampling" << QStringList{"PLL", "FIXED"} << false;
    QTest::newRow("freq") << "ComboFreq" << QStringList{"50Hz", "60Hz"} << false;
    QTest::newRow("average") << "ComboAverage" << QStringList{" 1", " 2", " 5", "10", "20"}
                             << false;
    QTest::newRow("sensor") << "ComboSens3"
                            << QStringList{"CLA", "CLB", "FLX-500", "FLX-5k", "CLC", "CLD"}
                            << false;
    QTest::newRow("range") << "ComboIRange2" << QStringList{"0.5", "1",   "5",   "10", "50",
                                                            "100", "200", "500", "1k", "5k"}
                           << false;
    QTest::newRow("stop") << "ComboStopMeth" << QStringList{"MANUAL", "TIME", "TIMER"} << false;
    QTest::newRow("interval") << "ComboIntvl"
                              << QStringList{"ALL WAVE", "100ms", "200ms", "500ms", " 1s", " 2s",
                                             " 5s",      "10s",   "15s",   "30s",   " 1m", " 2m",
                                             " 5m",      "10m",   "15m",   "30m",   "60m"}
                              << false;
    QTest::newRow("copy") << "ComboCopyDst" << QStringList{"PC CARD", "MEMORY"} << false;
    QTest::newRow("rs") << "ComboRSConnection" << QStringList{"PC", "PRINTER"} << true;
    QTest::newRow("order") << "ComboOrd" << QStringList{"ALL", "ODD", "EVEN", "SELECT"} << false;
    QTest::newRow("thd") << "ComboTHD" << QStringList{"THD-F", "THD-R"} << false;
    QTest::newRow("baud") << "ComboBaud"
                          << QStringList{" 2400bps", " 9600bps", "19200bps", "38400bps"} << true;
    QTest::newRow("term") << "ComboTerm" << QStringList{"CR+LF", "CR"} << true;
    QTest::newRow("flow") << "ComboFlow" << QStringList{"NONE", "XON/XOFF", "RTS/CTS", "BOTH"}
                          << true;
    QTest::newRow("var") << "ComboVarMethod" << QStringList{"OFF", "ON"} << false;
    QTest::newRow("volt") << "ComboURange" << QStringList{"150", "300", "600"} << false;
    QTest::newRow("start") << "ComboStartMeth" << QStringList{"MANUAL", "TIME", "JUST"} << false;
    QTest::newRow("media") << "ComboMedia" << QStringList{"PC CARD", "MEMORY"} << false;
    QTest::newRow("backlight") << "ComboBL" << QStringList{"OFF", "ON", "AUTO"} << false;
    QTest::newRow("beep") << "ComboBeep" << QStringList{"OFF", "ON"} << false;
    QTest::newRow("lang") << "ComboLang"
                          << QStringList{"JAPANESE", "ENGLISH",        "GERMAN",
                                         "ITALIAN",  "CHINESE SIMPLE", "CHINESE TRAD"}
                          << false;
}

void TestDlgSettings::listItems()
{
    QFETCH(QString, name);
    QFETCH(QStringList, expected);
    QFETCH(bool, alwaysDisabled);
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    auto* combo = find<QComboBox>(&dlg, name);
    QCOMPARE(items(combo), expected);
    QVERIFY(!combo->isEditable());
    // The instrument's line settings only show what it reported, before and after a display.
    if (alwaysDisabled) {
        QVERIFY(!combo->isEnabled());
        ModSet::instance().CirNum = 4;
        dlg.DispSettings();
        QVERIFY(!combo->isEnabled());
    }
}

void TestDlgSettings::sensorRule_data()
{
    QTest::addColumn<int>("sensor");
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("expected");
    // What each range becomes with each sensor, ranges 0.5, 1, 5, 10, 50, 100, 200, 500, 1k, 5k.
    const int table[6][10] = {
        {5, 5, 2, 3, 4, 5, 5, 5, 5, 5}, // CLA
        {7, 7, 2, 3, 4, 5, 5, 7, 7, 7}, // CLB
        {7, 7, 7, 7, 7, 7, 7, 7, 7, 7}, // FLX-500
        {9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, // FLX-5k
        {8, 8, 8, 8, 8, 5, 6, 8, 8, 8}, // CLC
        {0, 1, 2, 2, 2, 2, 2, 2, 2, 2}, // CLD
    };
    for (int s = 0; s < 6; ++s)
        for (int r = 0; r < 10; ++r)
            QTest::addRow("sensor %d range %d", s, r) << s << r << table[s][r];
}

void TestDlgSettings::sensorRule()
{
    QFETCH(int, sensor);
    QFETCH(int, range);
    QFETCH(int, expected);
    const int k = (sensor + range) % 4; // every row gets its share
    ModSet& m = ModSet::instance();
    m.CirNum = 4;
    m.Sens = {0, 3, 3, 3, 3};
    m.IRange = {0, 9, 9, 9, 9};
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();

    // The user picks the range, then the sensor: the sensor corrects the range it finds.
    m.IRange[k + 1] = range; // shown as received, without the rule
    dlg.DispSettings();
    QCOMPARE(dlg.comboIRange(k)->currentIndex(), range);
    choose(&dlg, dlg.comboSens(k), sensor);
    QCOMPARE(dlg.comboIRange(k)->currentIndex(), expected);
    QCOMPARE(m.IRange[k + 1], expected);
    QCOMPARE(m.Sens[k + 1], sensor);

    // The sensor stays; a range chosen afterwards is corrected the same way.
    choose(&dlg, dlg.comboIRange(k), range);
    QCOMPARE(dlg.comboIRange(k)->currentIndex(), expected);
    QCOMPARE(m.IRange[k + 1], expected);
    QCOMPARE(m.Sens[k + 1], sensor);
    for (int other = 0; other < 4; ++other)
        if (other != k) {
            QCOMPARE(m.IRange[other + 1], 9);
            QCOMPARE(m.Sens[other + 1], 3);
        }
}

void TestDlgSettings::wiringRule_data()
{
    QTest::addColumn<int>("wiring");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expected");
    const int largest[6] = {4, 2, 2, 1, 1, 1};
    for (int w = 0; w < 6; ++w)
        for (int c = 1; c <= 4; ++c)
            QTest::addRow("wiring %d x%d", w, c) << w << c << (c <= largest[w] ? c : 1);
}

void TestDlgSettings::wiringRule()
{
    QFETCH(int, wiring);
    QFETCH(int, count);
    QFETCH(int, expected);
    ModSet& m = ModSet::instance();
    m.CirNum = 1;
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    auto* comboWiring = find<QComboBox>(&dlg, QStringLiteral("ComboWiring"));
    auto* comboCirNum = find<QComboBox>(&dlg, QStringLiteral("ComboCirNum"));
    auto checkShown = [&](int n) {
        QCOMPARE(comboCirNum->currentIndex(), n - 1);
        QCOMPARE(m.CirNum, n);
        for (int k = 0; k < 4; ++k)
            QCOMPARE(rowEnabled(dlg, k), k < n);
    };

    // Count chosen under a wiring.
    choose(&dlg, comboWiring, wiring);
    QCOMPARE(m.Wiring, wiring);
    choose(&dlg, comboCirNum, count - 1);
    checkShown(expected);

    // Wiring chosen under a count (the count set up under 1P2W, which allows them all).
    choose(&dlg, comboWiring, 0);
    choose(&dlg, comboCirNum, count - 1);
    checkShown(count);
    choose(&dlg, comboWiring, wiring);
    QCOMPARE(m.Wiring, wiring);
    QCOMPARE(comboWiring->currentIndex(), wiring);
    checkShown(expected);
}

void TestDlgSettings::listsAndBoxesStoreTheirOwnSetting()
{
    ModSet& m = ModSet::instance();
    m.CirNum = 1;
    m.OrdType = 3;
    m.StopMeth = 1;
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();

    // Each choice changes its own setting and nothing else (averaging stores the count).
    struct ListCase
    {
        const char* name;
        int position;
        std::function<void(ModSet&)> expect;
    };
    const ListCase lists[] = {
        {"ComboSampling", 1, [](ModSet& e) { e.Sampling = 1; }},
        {"ComboFreq", 1, [](ModSet& e) { e.Freq = 1; }},
        {"ComboVarMethod", 1, [](ModSet& e) { e.VarMethod = 1; }},
        {"ComboAverage", 2, [](ModSet& e) { e.Average = 5; }},
        {"ComboAverage", 4, [](ModSet& e) { e.Average = 20; }},
        {"ComboURange", 2, [](ModSet& e) { e.URange = 2; }},
        {"ComboIntvl", 16, [](ModSet& e) { e.Intvl = 16; }},
        {"ComboMedia", 1, [](ModSet& e) { e.Media = 1; }},
        {"ComboCopyDst", 1, [](ModSet& e) { e.CopyDst = 1; }},
        {"ComboTHD", 1, [](ModSet& e) { e.THDType = 1; }},
        {"ComboBL", 2, [](ModSet& e) { e.BL = 2; }},
        {"ComboBeep", 1, [](ModSet& e) { e.Beep = 1; }},
        {"ComboLang", 5, [](ModSet& e) { e.Lang = 5; }},
    };
    for (const ListCase& c : lists) {
        ModSet expected = m;
        c.expect(expected);
        choose(&dlg, find<QComboBox>(&dlg, QLatin1String(c.name)), c.position);
        QVERIFY2(m == expected, c.name);
    }

    QList<QPair<QCheckBox*, std::function<void(ModSet&)>>> boxes;
    auto box = [&](const char* name, bool ModSet::*flag) {
        boxes.append(
            {find<QCheckBox>(&dlg, QLatin1String(name)), [flag](ModSet& e) { e.*flag = true; }});
    };
    box("CheckNorm", &ModSet::Norm);
    box("CheckHarm", &ModSet::Harm);
    box("CheckInst", &ModSet::Inst);
    box("CheckAve", &ModSet::Ave);
    box("CheckMax", &ModSet::Max);
    box("CheckMin", &ModSet::Min);
    box("CheckInteg", &ModSet::Integ);
    box("CheckP", &ModSet::P);
    box("CheckLevel", &ModSet::Level);
    box("CheckPercent", &ModSet::Percent);
    box("CheckPhase", &ModSet::Phase);
    box("CheckTHD", &ModSet::THD);
    box("CheckTotal", &ModSet::Total);
    box("CheckWave", &ModSet::Wave);
    for (int k = 0; k < 4; ++k) {
        boxes.append({dlg.checkCircuit(k), [k](ModSet& e) { e.Circuit[k + 1] = true; }});
        boxes.append({dlg.checkI(k), [k](ModSet& e) { e.I[k + 1] = true; }});
    }
    for (int k = 0; k < 3; ++k)
        boxes.append({dlg.checkU(k), [k](ModSet& e) { e.U[k + 1] = true; }});
    for (int k = 0; k < 40; ++k)
        boxes.append({dlg.checkOrd(k), [k](ModSet& e) { e.Ord[k + 1] = true; }});
    for (const auto& [check, expect] : boxes) {
        ModSet expected = m;
        expect(expected);
        click(&dlg, check);
        QVERIFY2(m == expected, qPrintable(check->objectName()));
    }
    // Ticking a box again clears its flag; HARM. and LEVEL stay independent.
    click(&dlg, find<QCheckBox>(&dlg, QStringLiteral("CheckHarm")));
    QVERIFY(!m.Harm);
    QVERIFY(m.Level);
}

void TestDlgSettings::circuitRows()
{
    ModSet& m = ModSet::instance();
    m.CirNum = 2;
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    QVERIFY(rowEnabled(dlg, 0) && rowEnabled(dlg, 1));
    QVERIFY(!rowEnabled(dlg, 2) && !rowEnabled(dlg, 3));
    m.CirNum = 4;
    dlg.DispSettings();
    for (int k = 0; k < 4; ++k)
        QVERIFY(rowEnabled(dlg, k));
    // Nothing received yet: no count shown, the rows stay as they were.
    m.CirNum = 0;
    dlg.DispSettings();
    QCOMPARE(find<QComboBox>(&dlg, QStringLiteral("ComboCirNum"))->currentIndex(), -1);
    for (int k = 0; k < 4; ++k)
        QVERIFY(rowEnabled(dlg, k));
    QCOMPARE(m.CirNum, 0);
}

void TestDlgSettings::stopLayoutFollowsMethod()
{
    ModSet& m = ModSet::instance();
    m.StopMeth = 2;
    m.Timer1 = 1;
    m.Timer2 = 2;
    m.Timer3 = 3;
    m.StopY = 2003;
    m.StopM = 6;
    m.StopD = 25;
    m.StopHH = 10;
    m.StopMM = 30;
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    showTabOf(&dlg, find<QWidget>(&dlg, QStringLiteral("ComboStopMeth")));
    const QStringList names{"TextStopY", "TextStopM", "TextStopD", "TextStopHH", "TextStopMM"};
    auto texts = [&] {
        QStringList out;
        for (const QString& n : names)
            out << find<QLineEdit>(&dlg, n)->text();
        return out;
    };
    auto visible = [&](const char* name) { return find<QWidget>(&dlg, name)->isVisible(); };
    auto enabled = [&](const char* name) { return find<QWidget>(&dlg, name)->isEnabled(); };
    auto separator = [&](const char* name) { return find<QLabel>(&dlg, name)->text(); };

    // TIMER: the three timer numbers, ":" between them, hour and minute hidden.
    QCOMPARE(texts().mid(0, 3), QStringList({"1", "2", "3"}));
    QCOMPARE(separator("Label15"), QStringLiteral(":"));
    QCOMPARE(separator("Label16"), QStringLiteral(":"));
    QVERIFY(!visible("TextStopHH") && !visible("TextStopMM") && !visible("Label17"));
    QVERIFY(enabled("TextStopY") && enabled("TextStopM") && enabled("TextStopD"));
    QCOMPARE(m.Timer3, 3);
    QCOMPARE(m.StopY, 2003);
    typeInto(&dlg, find<QLineEdit>(&dlg, "TextStopY"), QStringLiteral("48"));
    QCOMPARE(m.Timer1, 48);
    QCOMPARE(m.StopY, 2003);

    // Back to TIME: the stored date again, "/" separators, hour and minute back.
    auto* method = find<QComboBox>(&dlg, QStringLiteral("ComboStopMeth"));
    choose(&dlg, method, 1);
    QCOMPARE(m.StopMeth, 1);
    QCOMPARE(texts(), QStringList({"2003", "6", "25", "10", "30"}));
    QCOMPARE(separator("Label15"), QStringLiteral("/"));
    QCOMPARE(separator("Label16"), QStringLiteral("/"));
    QVERIFY(visible("TextStopHH") && visible("TextStopMM") && visible("Label17"));
    for (const QString& n : names)
        QVERIFY(find<QWidget>(&dlg, n)->isEnabled());
    QCOMPARE(m.Timer1, 48);
    typeInto(&dlg, find<QLineEdit>(&dlg, "TextStopY"), QStringLiteral("2004"));
    QCOMPARE(m.StopY, 2004);
    QCOMPARE(m.Timer1, 48);

    // MANUAL: the date shown, nothing editable.
    choose(&dlg, method, 0);
    QCOMPARE(texts(), QStringList({"2004", "6", "25", "10", "30"}));
    for (const QString& n : names)
        QVERIFY(!find<QWidget>(&dlg, n)->isEnabled());
    choose(&dlg, method, 2);
    QCOMPARE(texts().mid(0, 3), QStringList({"48", "2", "3"}));
}

void TestDlgSettings::startFieldsAndOrderBoxes()
{
    ModSet& m = ModSet::instance();
    m.StartMeth = 0;
    m.StartY = 2003;
    m.OrdType = 0;
    m.Ord[5] = true;
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    const QStringList start{"TextStartY", "TextStartM", "TextStartD", "TextStartHH", "TextStartMM"};
    auto startEnabled = [&] {
        QList<bool> out;
        for (const QString& n : start)
            out << find<QWidget>(&dlg, n)->isEnabled();
        return out;
    };
    auto* startMeth = find<QComboBox>(&dlg, QStringLiteral("ComboStartMeth"));
    QCOMPARE(startEnabled(), QList<bool>(5, false));
    choose(&dlg, startMeth, 1);
    QCOMPARE(m.StartMeth, 1);
    QCOMPARE(startEnabled(), QList<bool>(5, true));
    QCOMPARE(find<QLineEdit>(&dlg, "TextStartY")->text(), QStringLiteral("2003"));
    choose(&dlg, startMeth, 2);
    QCOMPARE(startEnabled(), QList<bool>(5, false));

    // The order boxes keep their states under ALL, ODD and EVEN but only SELECT opens them.
    QVERIFY(dlg.checkOrd(4)->isChecked());
    QVERIFY(!dlg.checkOrd(3)->isChecked());
    for (int k = 0; k < 40; ++k)
        QVERIFY(!dlg.checkOrd(k)->isEnabled());
    auto* ord = find<QComboBox>(&dlg, QStringLiteral("ComboOrd"));
    choose(&dlg, ord, 3);
    QCOMPARE(m.OrdType, 3);
    for (int k = 0; k < 40; ++k)
        QVERIFY(dlg.checkOrd(k)->isEnabled());
    click(&dlg, dlg.checkOrd(39));
    QVERIFY(m.Ord[40]);
    choose(&dlg, ord, 2);
    QCOMPARE(m.OrdType, 2);
    QVERIFY(!dlg.checkOrd(39)->isEnabled());
    QVERIFY(dlg.checkOrd(39)->isChecked());
}

void TestDlgSettings::codesWithoutEntryShowNoSelection()
{
    ModSet& m = ModSet::instance();
    m.CopyDst = 2; // the instrument copies to a printer
    m.Average = 0;
    m.CirNum = 0;
    m.Intvl = 17;
    m.Lang = -1;
    m.Sens[1] = 6;
    m.IRange[1] = 10;
    const ModSet before = m;
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    for (const char* name : {"ComboCopyDst", "ComboAverage", "ComboCirNum", "ComboIntvl",
                             "ComboLang", "ComboSens0", "ComboIRange0"})
        QVERIFY2(find<QComboBox>(&dlg, QLatin1String(name))->currentIndex() == -1, name);
    QVERIFY(m == before);

    // A range chosen while the row has no sensor is not stored; a pick in the list is.
    m.CirNum = 1;
    dlg.DispSettings();
    choose(&dlg, dlg.comboIRange(0), 3);
    QCOMPARE(m.IRange[1], 10);
    choose(&dlg, find<QComboBox>(&dlg, QStringLiteral("ComboCopyDst")), 0);
    QCOMPARE(m.CopyDst, 0);
    choose(&dlg, find<QComboBox>(&dlg, QStringLiteral("ComboAverage")), 3);
    QCOMPARE(m.Average, 10);
}

void TestDlgSettings::displayLeavesRecordUnchanged()
{
    // A received record that the rules would correct (CLB with 200 A, CLC with 500 A,
    // FLX-500 with 0.5 A, 3P4W with four circuits) is shown as received and stays as it is.
    ModSet& m = ModSet::instance();
    m.Wiring = 4;
    m.CirNum = 4;
    m.Sampling = 1;
    m.Freq = 1;
    m.VarMethod = 1;
    m.Average = 10;
    m.URange = 2;
    m.VT = 0.1 + 0.2 * 3; // not exact in binary; 15 digits give it back
    m.Sens = {0, 1, 5, 4, 2};
    m.IRange = {0, 6, 0, 7, 0};
    m.CT = {0, 1, 1.5, 0.25, 12345.678};
    m.StartMeth = 1;
    m.StartY = 2003, m.StartM = 6, m.StartD = 24, m.StartHH = 10, m.StartMM = 5;
    m.StopMeth = 2;
    m.StopY = 2003, m.StopM = 6, m.StopD = 25, m.StopHH = 11, m.StopMM = 0;
    m.Timer1 = 1, m.Timer2 = 12, m.Timer3 = 30;
    m.Intvl = 8;
    m.Media = 1;
    m.DataFName = QStringLiteral("DATA 01");
    m.RSConnection = 1;
    m.CopyDst = 1;
    m.Norm = m.Inst = m.Max = m.Level = m.THD = m.Wave = true;
    m.Circuit[2] = m.U[3] = m.I[4] = true;
    m.OrdType = 3;
    m.Ord[1] = m.Ord[40] = true;
    m.THDType = 1;
    m.Baud = 3, m.Term = 1, m.Flow = 2, m.BL = 2, m.Beep = 1;
    m.ID = -3;
    m.Lang = 4;
    const ModSet before = m;
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    dlg.DispSettings();
    ModSet expected = before;
    expected.VT = 0.7; // what the field shows is what it stores
    QVERIFY(m == expected);
    QStringList rows;
    for (int k = 0; k < 4; ++k)
        rows << dlg.comboSens(k)->currentText() + QLatin1Char(' ') +
                    dlg.comboIRange(k)->currentText();
    QCOMPARE(rows, QStringList({"CLB 200", "CLD 0.5", "CLC 500", "FLX-500 0.5"}));
    QCOMPARE(find<QComboBox>(&dlg, QStringLiteral("ComboCirNum"))->currentIndex(), 3);
    QCOMPARE(find<QLineEdit>(&dlg, "TextID")->text(), QStringLiteral("-3"));
    QCOMPARE(find<QLineEdit>(&dlg, "TextVT")->text(), QStringLiteral("0.7"));
    QStringList ct;
    for (int k = 0; k < 4; ++k)
        ct << dlg.textCT(k)->text();
    QCOMPARE(ct, QStringList({"1", "1.5", "0.25", "12345.678"}));
    QVERIFY(!find<QWidget>(&dlg, "ComboRSConnection")->isEnabled());
    QCOMPARE(find<QComboBox>(&dlg, "ComboRSConnection")->currentText(), QStringLiteral("PRINTER"));

    m.ID = 12;
    dlg.DispSettings();
    QCOMPARE(find<QLineEdit>(&dlg, "TextID")->text(), QStringLiteral(" 12"));
    QCOMPARE(m.ID, 12);
}

void TestDlgSettings::entryFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("paste");
    QTest::addColumn<double>("expected");
    QTest::newRow("trailing letters") << "TextStartD"
                                      << "12abc" << false << 12.0;
    QTest::newRow("no number") << "TextStartD"
                               << "abc" << false << 0.0;
    QTest::newRow("empty") << "TextStartD"
                           << "" << false << 0.0;
    QTest::newRow("1.5 rounds up") << "TextStartM"
                                   << "1.5" << false << 2.0;
    QTest::newRow("2.5 rounds to even") << "TextStartHH"
                                        << "2.5" << false << 2.0;
    QTest::newRow("3.5 rounds to even") << "TextStartMM"
                                        << "3.5" << false << 4.0;
    QTest::newRow("negative half") << "TextStopHH"
                                   << "-2.5" << false << -2.0;
    QTest::newRow("blanks inside") << "TextStartY"
                                   << "2 0 0 3" << false << 2003.0;
    QTest::newRow("largest") << "TextID"
                             << "2147483647" << true << 2147483647.0;
    QTest::newRow("smallest") << "TextID"
                              << "-2147483648" << true << -2147483648.0;
    QTest::newRow("too large keeps") << "TextID"
                                     << "2147483648" << true << 7.0;
    QTest::newRow("too small keeps") << "TextStopMM"
                                     << "-1e10" << true << 7.0;
    QTest::newRow("huge real keeps") << "TextVT"
                                     << "1e999" << true << 7.0;
    QTest::newRow("real") << "TextVT"
                          << "1.5e2" << false << 150.0;
    QTest::newRow("real fraction") << "TextCT2"
                                   << ".25x" << false << 0.25;
    QTest::newRow("timer field") << "TextStopD"
                                 << "45" << false << 45.0;
}

void TestDlgSettings::entryFields()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(bool, paste);
    QFETCH(double, expected);
    ModSet& m = ModSet::instance();
    m.CirNum = 4;
    m.StartMeth = 1;
    m.StopMeth = 2;
    m.StartY = m.StartM = m.StartD = m.StartHH = m.StartMM = 7;
    m.StopHH = m.StopMM = m.Timer3 = m.StopD = m.ID = 7;
    m.VT = m.CT[3] = 7;
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    const QHash<QString, std::function<double()>> stored{
        {"TextStartY", [&] { return m.StartY; }},   {"TextStartM", [&] { return m.StartM; }},
        {"TextStartD", [&] { return m.StartD; }},   {"TextStartHH", [&] { return m.StartHH; }},
        {"TextStartMM", [&] { return m.StartMM; }}, {"TextStopHH", [&] { return m.StopHH; }},
        {"TextStopMM", [&] { return m.StopMM; }},   {"TextStopD", [&] { return m.Timer3; }},
        {"TextID", [&] { return m.ID; }},           {"TextVT", [&] { return m.VT; }},
        {"TextCT2", [&] { return m.CT[3]; }},
    };
    auto* edit = find<QLineEdit>(&dlg, field);
    typeInto(&dlg, edit, text, paste);
    QCOMPARE(edit->text(), text);
    QCOMPARE(stored.value(field)(), expected);
    if (field == QLatin1String("TextStopD"))
        QCOMPARE(m.StopD, 7); // TIMER: the day field holds the third timer number
}

void TestDlgSettings::fileNameTrimmed()
{
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    auto* edit = find<QLineEdit>(&dlg, QStringLiteral("TextDataFName"));
    typeInto(&dlg, edit, QStringLiteral(" TEST "));
    QCOMPARE(edit->text(), QStringLiteral("TEST"));
    QCOMPARE(ModSet::instance().DataFName, QStringLiteral("TEST"));
    typeInto(&dlg, edit, QStringLiteral("  MY DATA  "), true);
    QCOMPARE(edit->text(), QStringLiteral("MY DATA"));
    QCOMPARE(ModSet::instance().DataFName, QStringLiteral("MY DATA"));
    // A received name with blanks at its ends is shown and kept without them.
    ModSet::instance().DataFName = QStringLiteral(" A1 ");
    dlg.DispSettings();
    QCOMPARE(edit->text(), QStringLiteral("A1"));
    QCOMPARE(ModSet::instance().DataFName, QStringLiteral("A1"));
}

void TestDlgSettings::closeAndReopenKeepsEdits()
{
    ModSet& m = ModSet::instance();
    m.CirNum = 2;
    SimBench bench;
    QVERIFY(bench.connectDirect());
    {
        DlgSettings dlg(bench.link(), nullptr);
        dlg.show();
        choose(&dlg, dlg.comboSens(1), 4); // CLC: 0.5 A becomes 1k
        typeInto(&dlg, dlg.textCT(1), QStringLiteral("2.5"));
        click(&dlg, find<QCheckBox>(&dlg, QStringLiteral("CheckAdjust")));
        QVERIFY(find<QCheckBox>(&dlg, QStringLiteral("CheckAdjust"))->isChecked());
        bench.clearWire();
        click(&dlg, find<QPushButton>(&dlg, QStringLiteral("CommandClose")));
        QVERIFY(!dlg.isVisible());
        QVERIFY(bench.wire().isEmpty());
    }
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    QCOMPARE(find<QTabWidget>(&dlg, QStringLiteral("SSTab1"))->currentIndex(), 0);
    QCOMPARE(dlg.comboSens(1)->currentText(), QStringLiteral("CLC"));
    QCOMPARE(dlg.comboIRange(1)->currentText(), QStringLiteral("1k"));
    QCOMPARE(dlg.textCT(1)->text(), QStringLiteral("2.5"));
    QVERIFY(!find<QCheckBox>(&dlg, QStringLiteral("CheckAdjust"))->isChecked());
    // The close box closes as CLOSE does when nothing runs.
    QVERIFY(dlg.close());
    QVERIFY(!dlg.isVisible());
}

void TestDlgSettings::sendFromTheDialog()
{
    ModSet& m = ModSet::instance();
    m.CirNum = 1;
    m.Average = 1;
    m.ID = 1;
    m.VT = 1;
    m.CT[1] = m.CT[2] = 1;
    m.Sens = {0, 1, 1, 1, 1};
    m.IRange = {0, 7, 7, 7, 7};
    m.StartY = m.StopY = 2026;
    m.StartM = m.StartD = m.StopM = m.StopD = 1;
    SimBench bench;
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    // The user's edits: 1P3W with two circuits, a FLX-5k on the second, a pasted name.
    choose(&dlg, find<QComboBox>(&dlg, QStringLiteral("ComboWiring")), 1);
    choose(&dlg, find<QComboBox>(&dlg, QStringLiteral("ComboCirNum")), 1);
    choose(&dlg, dlg.comboSens(1), 3);
    typeInto(&dlg, dlg.textCT(1), QStringLiteral("0.5"));
    typeInto(&dlg, find<QLineEdit>(&dlg, QStringLiteral("TextDataFName")), QStringLiteral(" RUN1 "),
             true);
    click(&dlg, find<QCheckBox>(&dlg, QStringLiteral("CheckAdjust")));

    auto* recv = find<QPushButton>(&dlg, QStringLiteral("CommandRecv"));
    auto* send = find<QPushButton>(&dlg, QStringLiteral("CommandSend"));
    auto* close = find<QPushButton>(&dlg, QStringLiteral("CommandClose"));
    int written = 0;
    bool buttonsLocked = true;
    bool closeRefused = true;
    connect(&bench.link(), &Link::written, &dlg, [&](const QByteArray&, int timeoutMs) {
        ++written;
        buttonsLocked = buttonsLocked && !recv->isEnabled() && !send->isEnabled() &&
                        !close->isEnabled() && timeoutMs == 1000;
        if (written == 3) // the close box and Escape, while the instrument is talked to
            TestUtil::later(0, [&] {
                dlg.close();
                QTest::keyClick(&dlg, Qt::Key_Escape);
                closeRefused = dlg.isVisible();
            });
    });
    bench.clearWire();
    click(&dlg, send);
    QVERIFY(buttonsLocked);
    QVERIFY(closeRefused);
    QVERIFY(dlg.isVisible());
    QVERIFY(recv->isEnabled() && send->isEnabled() && close->isEnabled());
    QCOMPARE(bench.messages.texts().join('|'), QString());

    QList<QByteArray> wire = bench.wire();
    QCOMPARE(written, wire.size());
    QVERIFY(!wire.isEmpty());
    const QByteArray clock = wire.takeLast();
    QVERIFY2(QRegularExpression(QStringLiteral("^:CLOCK 20\\d\\d(,\\d{1,2}){5}$"))
                 .match(QString::fromLatin1(clock))
                 .hasMatch(),
             clock.constData());
    const QList<QByteArray> expected{":WIR 1P3W",
                                     ":CIRC 2",
                                     ":SAMP PLL",
                                     ":FREQ 50",
                                     ":OPER OFF",
                                     ":AVE 1",
                                     ":VOLT:RANG 150",
                                     ":VT 1",
                                     ":SENS 1,CLB",
                                     ":SENS 2,FLX-5K",
                                     ":CURR:RANG 1,500",
                                     ":CURR:RANG 2,5000",
                                     ":CT 1,1",
                                     ":CT 2,0.5",
                                     ":START:METH MANUAL",
                                     ":START:TIME 2026, 1, 1, 0, 0",
                                     ":STOP:METH MANUAL",
                                     ":STOP:TIME 2026, 1, 1, 0, 0",
                                     ":TIMER 0, 0, 0",
                                     ":INTE ALL",
                                     ":DATA:MEDI CARD",
                                     ":FILE:MEAS RUN1",
                                     ":DATA:COPY:MEDI CARD",
                                     ":DATA:ITEM 0, 128, 0, 0, 0, 0, 0, 0, 0",
                                     ":DATA:WAVE OFF",
                                     ":DATA:HARM OFF",
                                     ":THD F",
                                     ":BACK OFF",
                                     ":BEEP OFF",
                                     "ID 1",
                                     ":LANG JAPANESE"};
    QCOMPARE(wire, expected);
    QCOMPARE(bench.instrument.lines().mid(bench.instrument.lines().size() - 1 - expected.size(),
                                          expected.size()),
             expected);
}

void TestDlgSettings::receiveShowsInstrumentSettings()
{
    SimBench bench;
    QVERIFY(bench.connectDirect());
    SimSettings& s = bench.instrument.state().settings;
    s.wiring = 2; // 3P3W, shown as 3P3W2M
    s.cirNum = 2;
    s.average = 20;
    s.sens = {5, 3, 0, 0};
    s.iRange = {0, 9, 5, 5};
    s.ct = {0.5, 2000, 1, 1};
    s.stopMeth = 2;
    s.timer = {3, 4, 5};
    s.copyDst = 2;
    s.id = 42;
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    auto* recv = find<QPushButton>(&dlg, QStringLiteral("CommandRecv"));
    auto* send = find<QPushButton>(&dlg, QStringLiteral("CommandSend"));
    auto* close = find<QPushButton>(&dlg, QStringLiteral("CommandClose"));
    bool buttonsLocked = true;
    connect(&bench.link(), &Link::written, &dlg, [&](const QByteArray&, int) {
        buttonsLocked =
            buttonsLocked && !recv->isEnabled() && !send->isEnabled() && !close->isEnabled();
    });
    bench.clearWire();
    click(&dlg, recv);
    QVERIFY(buttonsLocked);
    QVERIFY(recv->isEnabled() && send->isEnabled() && close->isEnabled());
    const QList<QByteArray> wire = bench.wire();
    QCOMPARE(wire.size(), 33);
    QCOMPARE(wire.first(), QByteArray(":HEAD OFF"));
    QCOMPARE(queries(wire).size(), 32);
    QCOMPARE(wire.last(), QByteArray(":LANG?"));
    QCOMPARE(bench.messages.texts(), QStringList());

    QCOMPARE(find<QComboBox>(&dlg, QStringLiteral("ComboWiring"))->currentText(),
             QStringLiteral("3P3W2M"));
    QCOMPARE(find<QComboBox>(&dlg, QStringLiteral("ComboCirNum"))->currentText(),
             QStringLiteral("x2"));
    QCOMPARE(find<QComboBox>(&dlg, QStringLiteral("ComboAverage"))->currentText(),
             QStringLiteral("20"));
    QVERIFY(rowEnabled(dlg, 1) && !rowEnabled(dlg, 2));
    QCOMPARE(dlg.comboSens(0)->currentText(), QStringLiteral("CLD"));
    QCOMPARE(dlg.comboIRange(0)->currentText(), QStringLiteral("0.5"));
    QCOMPARE(dlg.comboSens(1)->currentText(), QStringLiteral("FLX-5k"));
    QCOMPARE(dlg.comboIRange(1)->currentText(), QStringLiteral("5k"));
    QCOMPARE(dlg.textCT(0)->text(), QStringLiteral("0.5"));
    QCOMPARE(dlg.textCT(1)->text(), QStringLiteral("2000"));
    QCOMPARE(find<QLineEdit>(&dlg, "TextStopY")->text(), QStringLiteral("3"));
    QCOMPARE(find<QLabel>(&dlg, "Label15")->text(), QStringLiteral(":"));
    QCOMPARE(find<QComboBox>(&dlg, QStringLiteral("ComboCopyDst"))->currentIndex(), -1);
    QCOMPARE(ModSet::instance().CopyDst, 2);
    QCOMPARE(find<QLineEdit>(&dlg, "TextID")->text(), QStringLiteral(" 42"));
}

void TestDlgSettings::receiveTimeoutStillRefreshes()
{
    SimConfig config;
    QString error;
    QVERIFY2(config.parse({QStringLiteral("--fault"), QStringLiteral("drop,:HEAD,1")}, &error),
             qPrintable(error));
    SimBench bench(config);
    QVERIFY(bench.connectDirect());
    DlgSettings dlg(bench.link(), nullptr);
    dlg.show();
    // Changed behind the dialog's back: the failed receive must still show it.
    ModSet::instance().Wiring = 5;
    ModSet::instance().ID = 9;
    bench.clearWire();
    click(&dlg, find<QPushButton>(&dlg, QStringLiteral("CommandRecv")));
    QCOMPARE(bench.wire(), QList<QByteArray>({":HEAD OFF"}));
    QCOMPARE(bench.messages.texts(), QStringList({"ERROR! 01:HEAD OFF\r\n"}));
    QCOMPARE(find<QComboBox>(&dlg, QStringLiteral("ComboWiring"))->currentText(),
             QStringLiteral("3P4W4I"));
    QCOMPARE(find<QLineEdit>(&dlg, "TextID")->text(), QStringLiteral(" 9"));
    for (const char* name : {"CommandRecv", "CommandSend", "CommandClose"})
        QVERIFY(find<QWidget>(&dlg, QLatin1String(name))->isEnabled());
}

void TestDlgSettings::unloadDuringSend()
{
    SimConfig config;
    config.replyDelayMs = 20;
    ModSet::instance().CirNum = 4;
    SimBench bench(config);
    QVERIFY(bench.connectDirect());
    QPointer<DlgSettings> dlg = new DlgSettings(bench.link(), nullptr);
    dlg->show();
    int written = 0;
    connect(&bench.link(), &Link::written, dlg, [&](const QByteArray&, int) {
        if (++written == 2)
            TestUtil::later(0, [&] { dlg->unload(); });
    });
    QTest::mouseClick(find<QPushButton>(dlg, QStringLiteral("CommandSend")), Qt::LeftButton);
    // The handler ran to its end on a live dialog; only then did the dialog go.
    QVERIFY(!dlg.isNull());
    QVERIFY(!dlg->isVisible());
    QTRY_VERIFY(dlg.isNull());
    QVERIFY(written > 2);
}

QTEST_MAIN(TestDlgSettings)
#include "test_dlgsettings.moc"
