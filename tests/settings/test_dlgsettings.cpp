// The settings dialog driven as a user drives it, against the simulated instrument.

#include "DlgSettings.h"
#include "FrmMeas.h"
#include "Link.h"
#include "ModSet.h"
#include "SettingsTable.h"
#include "SimBench.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <functional>
#include <tuple>

namespace {

// A connected bench; open() loads the dialog from the record as the test left it.
struct Fixture
{
    explicit Fixture(SimConfig config = {}) : bench(std::move(config))
    {
        connected = bench.connectDirect();
    }
    // Alone, or as the program opens it: from the measurement window, which receives first.
    void open(bool fromMeas = false)
    {
        if (!fromMeas) {
            owned = std::make_unique<DlgSettings>(*bench.session, nullptr);
            owned->show();
            dlg = owned.get();
        } else if ((meas = bench.openMeas())) {
            meas->findChild<QAction*>(QStringLiteral("MSSettings"))->trigger();
            dlg = meas->settingsDialog();
        }
    }

    // A control by its name, or the control itself.
    template <class T> T* get(T* w) const { return w; }
    template <class T> T* get(const QString& name) const
    {
        T* w = dlg->findChild<T*>(name);
        if (!w)
            qWarning("no control %s", qPrintable(name));
        return w;
    }
    QComboBox* combo(const QString& name) const { return get<QComboBox>(name); }
    QLineEdit* edit(const QString& name) const { return get<QLineEdit>(name); }
    QTabWidget* tabs() const { return get<QTabWidget>(QStringLiteral("SSTab1")); }

    // Brings the tab holding w to the front by clicking its tab, as the user would.
    void showTabOf(QWidget* w) const
    {
        for (int i = 0; i < tabs()->count(); ++i)
            if (tabs()->widget(i)->isAncestorOf(w) && tabs()->currentIndex() != i)
                QTest::mouseClick(tabs()->tabBar(), Qt::LeftButton, {},
                                  tabs()->tabBar()->tabRect(i).center());
    }
    // Opens the list, moves to the item with the keys and presses Return: one user choice.
    void choose(const auto& list, int index) const
    {
        QComboBox* c = get<QComboBox>(list);
        showTabOf(c);
        QVERIFY2(c->isVisible() && c->isEnabled(), qPrintable(c->objectName()));
        c->showPopup();
        QTRY_VERIFY(c->view()->isVisible());
        QTest::keyClick(c->view(), Qt::Key_Home);
        for (int i = 0; i < index; ++i)
            QTest::keyClick(c->view(), Qt::Key_Down);
        QTest::keyClick(c->view(), Qt::Key_Return);
        QTRY_VERIFY(!c->view()->isVisible());
    }
    void click(const auto& button) const
    {
        QAbstractButton* b = get<QAbstractButton>(button);
        showTabOf(b);
        QVERIFY2(b->isVisible() && b->isEnabled(), qPrintable(b->objectName()));
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
    }
    // Clicks RECEIVE or SEND and waits until the exchange, its question included, is over.
    bool run(const char* command)
    {
        click(QLatin1String(command));
        return TestUtil::waitFor([this] { return !dlg->exchanging() && bench.session->idle(); });
    }
    // Selects the whole text and types over it, or pastes over it in one change.
    void type(const auto& field, const QString& text, bool paste = false) const
    {
        QLineEdit* e = get<QLineEdit>(field);
        showTabOf(e);
        e->setFocus();
        e->selectAll();
        if (paste)
            return e->insert(text);
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
    }
    bool rowEnabled(int k) const
    {
        const bool on = dlg->comboSens(k)->isEnabled();
        if (dlg->comboIRange(k)->isEnabled() != on || dlg->textCT(k)->isEnabled() != on)
            qWarning("circuit row %d is partly enabled", k);
        return on;
    }
    // Whether the named controls are all enabled (on) or all disabled (!on).
    bool enabled(const QStringList& names, bool on) const
    {
        return std::all_of(names.begin(), names.end(),
                           [&](const QString& n) { return get<QWidget>(n)->isEnabled() == on; });
    }
    QStringList texts(QStringList names) const
    {
        for (QString& n : names)
            n = edit(n)->text();
        return names;
    }

    SimBench bench;
    ModSet& m = bench.session->settings();
    bool connected = false;
    QPointer<FrmMeas> meas;
    std::unique_ptr<DlgSettings> owned;
    QPointer<DlgSettings> dlg;
};

const QStringList kCommands{"CommandRecv", "CommandSend", "CommandClose"};
const QStringList kStopFields{"TextStopY", "TextStopM", "TextStopD", "TextStopHH", "TextStopMM"};

} // namespace

class TestDlgSettings : public QObject
{
    Q_OBJECT
private slots:
    void frame();
    void rulesApplyToTheLists();
    void controlsStoreOnlyTheirMember();
    void displayLayouts();
    void displayLeavesRecordUnchanged();
    void entryFields();
    void closeAndReopenKeepsEdits();
    void sendFromTheDialog();
    void receive();
    void exchangeStopsWhenTheDialogGoes_data();
    void exchangeStopsWhenTheDialogGoes();
};

// Catches: Return in a field starting an exchange, a list or field nobody can read the name
// of, line settings editable that only the instrument reports.
void TestDlgSettings::frame()
{
    Fixture f;
    f.open();
    QVERIFY(f.connected);
    // Return in a field must not start an exchange with the instrument.
    f.bench.clearWire();
    f.type(f.dlg->textCT(0), QStringLiteral("2"));
    QTest::keyClick(f.dlg->textCT(0), Qt::Key_Return);
    QVERIFY(f.bench.wire().isEmpty());
    QVERIFY(f.dlg->isVisible());

    // Every list and entry field has a name to be read by: its label or its own.
    QSet<QWidget*> labelled;
    for (QLabel* label : f.dlg->findChildren<QLabel*>())
        labelled.insert(label->buddy());
    for (QWidget* w : f.dlg->findChildren<QWidget*>()) {
        if (!qobject_cast<QComboBox*>(w) && !qobject_cast<QLineEdit*>(w))
            continue;
        QVERIFY2(labelled.contains(w) || !w->accessibleName().isEmpty(),
                 qPrintable(w->objectName()));
    }

    // The instrument's line settings only show what it reported, before and after a display.
    f.m.CirNum = 4;
    f.dlg->DispSettings();
    QVERIFY(f.enabled({"ComboBaud", "ComboTerm", "ComboFlow", "ComboRSConnection"}, false));
}

// The rules themselves are the codec test's; here one row of each through the lists.
// Catches: a rule not applied when a sensor, a range, a wiring or a count is chosen, applied
// to the wrong circuit row, or left out of the record.
void TestDlgSettings::rulesApplyToTheLists()
{
    Fixture f;
    ModSet& m = f.m;
    m.CirNum = 4;
    m.Sens = {0, 3, 3, 3, 3};
    m.IRange = {0, 9, 9, 9, 9};
    m.IRange[3] = 6; // 200 A, shown as received
    f.open();
    QCOMPARE(f.dlg->comboIRange(2)->currentIndex(), 6);
    f.choose(f.dlg->comboSens(2), 1); // CLB cannot measure 200 A: 100 A
    QVERIFY(f.dlg->comboIRange(2)->currentIndex() == 5 && m.IRange[3] == 5 && m.Sens[3] == 1);
    f.choose(f.dlg->comboIRange(2), 6);
    QVERIFY(f.dlg->comboIRange(2)->currentIndex() == 5 && m.IRange[3] == 5);
    QVERIFY(m.IRange[2] == 9 && m.Sens[2] == 3 && m.IRange[4] == 9 && m.Sens[4] == 3);

    // 1P3W allows two circuits: four fall back to one, chosen under it or before it.
    auto shown = [&](int n) {
        bool rows = true;
        for (int k = 0; k < 4; ++k)
            rows = rows && f.rowEnabled(k) == (k < n);
        return rows && f.combo("ComboCirNum")->currentIndex() == n - 1 && m.CirNum == n;
    };
    f.choose("ComboWiring", 1);
    QVERIFY(shown(1) && m.Wiring == 1);
    f.choose("ComboCirNum", 1);
    QVERIFY(shown(2));
    f.choose("ComboCirNum", 3);
    QVERIFY(shown(1));
    f.choose("ComboWiring", 0);
    f.choose("ComboCirNum", 3);
    QVERIFY(shown(4));
}

// Catches: a list, box or entry field that changes another member than its own, a second one
// as well or none; a list of what only the instrument reports that the user can change.
void TestDlgSettings::controlsStoreOnlyTheirMember()
{
    using namespace SettingsTable;
    Fixture f;
    ModSet& m = f.m;
    // Each list goes to its next item, which no rule corrects from here; flags are toggled.
    m.Wiring = 5, m.CirNum = 3, m.OrdType = 2, m.Harm = m.Ord[40] = true;
    m.IRange = {0, 2, 2, 2, 2}; // 5 A, next 10 A: CLA and CLB take both
    f.open();
    QSet<QString> unused; // every list, box and field but the clock box is some member's
    for (QWidget* w : f.dlg->findChildren<QWidget*>())
        if (qobject_cast<QComboBox*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QLineEdit*>(w))
            unused.insert(w->objectName());
    unused.remove(QStringLiteral("CheckAdjust"));
    for (const Row& row : rows())
        for (const Member& member : row.members)
            for (int e = member.first(); e <= member.last(); ++e) {
                const QString name = member.control(e);
                unused.remove(name);
                // The stop fields hold the timer under TIMER.
                if (QByteArray(member.name).startsWith("Timer") && m.StopMeth != 2)
                    f.choose("ComboStopMeth", 2);
                ModSet expected = m;
                const Ref ref = member.at(expected, e);
                if (auto* combo = f.dlg->findChild<QComboBox*>(name); combo && !row.command) {
                    QVERIFY2(!combo->isEnabled(), qPrintable(name));
                    continue;
                } else if (combo) {
                    const int next = (combo->currentIndex() + 1) % combo->count();
                    *std::get<qint32*>(ref) = *member.code(next);
                    f.choose(combo, next);
                } else if (auto* box = f.dlg->findChild<QCheckBox*>(name)) {
                    *std::get<bool*>(ref) = !box->isChecked();
                    f.click(box);
                } else if (QString* const* text = std::get_if<QString*>(&ref)) {
                    f.type(name, ** text = QStringLiteral("N1"));
                } else if (double* const* real = std::get_if<double*>(&ref)) {
                    f.type(name, QString::number(** real = 2.5));
                } else {
                    f.type(name, QString::number(*std::get<qint32*>(ref) = 3));
                }
                QVERIFY2(m == expected, qPrintable(member.nameOf(e)));
            }
    QVERIFY2(unused.isEmpty(), qPrintable(QStringList(unused.begin(), unused.end()).join(' ')));
}

// Catches: circuit rows not following the count, codes without an entry shown as another,
// the stop fields laid out or stored for the wrong method, start fields or order boxes
// editable when they must not be.
void TestDlgSettings::displayLayouts()
{
    Fixture f;
    ModSet& m = f.m;
    m.CirNum = 2, m.StartMeth = 0, m.StopMeth = 2, m.OrdType = 0, m.Ord[5] = true;
    m.Timer1 = 1, m.Timer2 = 2, m.Timer3 = 3;
    m.StopY = 2003, m.StopM = 6, m.StopD = 25, m.StopHH = 10, m.StopMM = 30;
    // Codes without a list entry: a printer copy destination, nothing received, damage.
    m.CopyDst = 2, m.Average = 0, m.Intvl = 17, m.Sens[3] = 6, m.IRange[3] = -1;
    f.open();

    // Circuit rows follow the count; no count (nothing received) leaves them alone.
    QCOMPARE(QList<bool>({f.rowEnabled(0), f.rowEnabled(1), f.rowEnabled(2), f.rowEnabled(3)}),
             QList<bool>({true, true, false, false}));
    m.CirNum = 0;
    f.dlg->DispSettings();
    QCOMPARE(f.combo("ComboCirNum")->currentIndex(), -1);
    QVERIFY(f.rowEnabled(1) && !f.rowEnabled(2));
    for (const char* name : {"ComboCopyDst", "ComboAverage", "ComboCirNum", "ComboIntvl",
                             "ComboSens2", "ComboIRange2"})
        QVERIFY2(f.combo(QLatin1String(name))->currentIndex() == -1, name);
    QVERIFY(m.CopyDst == 2 && m.Average == 0 && m.CirNum == 0 && m.Intvl == 17);
    f.choose("ComboCopyDst", 0);
    QCOMPARE(m.CopyDst, 0);

    // TIMER: the three timer numbers between ":", hour and minute hidden; typed into Timer1.
    auto visible = [&](const char* name) { return f.get<QWidget>(name)->isVisible(); };
    auto separators = [&] {
        return f.get<QLabel>("Label15")->text() + f.get<QLabel>("Label16")->text();
    };
    f.showTabOf(f.combo("ComboStopMeth"));
    QCOMPARE(f.texts(kStopFields).mid(0, 3), QStringList({"1", "2", "3"}));
    QCOMPARE(separators(), QStringLiteral("::"));
    QVERIFY(!visible("TextStopHH") && !visible("TextStopMM") && !visible("Label17"));
    QVERIFY(f.enabled(kStopFields.mid(0, 3), true));
    f.type("TextStopY", QStringLiteral("48"));
    QVERIFY(m.Timer1 == 48 && m.Timer3 == 3 && m.StopY == 2003);
    // TIME: the stored date again, "/" separators, all five back and editable.
    f.choose("ComboStopMeth", 1);
    QCOMPARE(m.StopMeth, 1);
    QCOMPARE(f.texts(kStopFields), QStringList({"2003", "6", "25", "10", "30"}));
    QCOMPARE(separators(), QStringLiteral("//"));
    QVERIFY(visible("TextStopHH") && visible("TextStopMM") && visible("Label17"));
    QVERIFY(f.enabled(kStopFields, true));
    f.type("TextStopY", QStringLiteral("2004"));
    QVERIFY(m.StopY == 2004 && m.Timer1 == 48);
    // MANUAL: the date shown, nothing editable.
    f.choose("ComboStopMeth", 0);
    QCOMPARE(f.texts(kStopFields), QStringList({"2004", "6", "25", "10", "30"}));
    QVERIFY(f.enabled(kStopFields, false));

    // Start fields are editable under TIME only.
    const QStringList start{"TextStartY", "TextStartM", "TextStartD", "TextStartHH", "TextStartMM"};
    QVERIFY(f.enabled(start, false));
    f.choose("ComboStartMeth", 1);
    QVERIFY(f.enabled(start, true));
    f.choose("ComboStartMeth", 2);
    QVERIFY(f.enabled(start, false));
    QCOMPARE(m.StartMeth, 2);

    // Order boxes keep their states under ALL, ODD and EVEN; only SELECT opens them.
    QVERIFY(f.dlg->checkOrd(4)->isChecked() && !f.dlg->checkOrd(3)->isChecked());
    QVERIFY(!f.dlg->checkOrd(0)->isEnabled() && !f.dlg->checkOrd(39)->isEnabled());
    f.choose("ComboOrd", 3);
    QVERIFY(m.OrdType == 3 && f.dlg->checkOrd(0)->isEnabled() && f.dlg->checkOrd(39)->isEnabled());
    f.choose("ComboOrd", 2);
    QVERIFY(m.OrdType == 2 && !f.dlg->checkOrd(39)->isEnabled() && f.dlg->checkOrd(4)->isChecked());
}

// Catches: showing the record changing it (a rule applied on display, an entry field
// shown from another setting), or a value shown other than it is stored.
void TestDlgSettings::displayLeavesRecordUnchanged()
{
    // A received record that the rules would correct (CLB with 200 A, CLC with 500 A,
    // FLX-500 with 0.5 A, 3P4W with four circuits) is shown as received and stays as it is.
    // Only entry fields store what they show, so each holds a value of its own.
    Fixture f;
    ModSet& m = f.m;
    m.Wiring = 4, m.CirNum = 4, m.RSConnection = 1, m.ID = -3;
    m.VT = 0.1 + 0.2 * 3; // not exact in binary; 15 digits give 0.7
    m.Sens = {0, 1, 5, 4, 2};
    m.IRange = {0, 6, 0, 7, 0};
    m.CT = {0, 1, 1.5, 0.25, 12345.678};
    m.StartMeth = 1, m.StartY = 2003, m.StartM = 6, m.StartD = 24, m.StartHH = 10;
    m.StopMeth = 2, m.StopY = 2003, m.StopM = 6, m.StopD = 25, m.StopHH = 11, m.StopMM = 9;
    m.Timer1 = 1, m.Timer2 = 12, m.Timer3 = 30;
    m.DataFName = QStringLiteral("DATA 01");
    ModSet expected = m;
    expected.VT = 0.7; // what the field shows is what it stores
    f.open();
    f.dlg->DispSettings();
    QVERIFY(m == expected);
    QStringList rows;
    for (int k = 0; k < 4; ++k)
        rows << f.dlg->comboSens(k)->currentText() + ' ' + f.dlg->comboIRange(k)->currentText() +
                    ' ' + f.dlg->textCT(k)->text();
    QCOMPARE(rows,
             QStringList({"CLB 200 1", "CLD 0.5 1.5", "CLC 500 0.25", "FLX-500 0.5 12345.678"}));
    QCOMPARE(f.combo("ComboCirNum")->currentIndex(), 3);
    // A negative ID has no blank before it (receive() shows a positive one).
    QCOMPARE(f.texts({"TextVT", "TextID"}), QStringList({"0.7", "-3"}));
    QCOMPARE(f.combo("ComboRSConnection")->currentText(), QStringLiteral("PRINTER"));
}

// Catches: a field stored into the wrong setting, a value out of range stored, the day
// field not holding the third timer number under TIMER.
void TestDlgSettings::entryFields()
{
    Fixture f;
    ModSet& m = f.m;
    m.CirNum = 4, m.StartMeth = 1, m.StopMeth = 2;
    m.StartY = m.StartM = m.StartD = m.StartHH = m.StartMM = 7;
    m.StopHH = m.StopMM = m.Timer3 = m.StopD = m.ID = 7;
    m.VT = m.CT[3] = 7;
    f.open();
    // Each field typed or pasted, and what its setting holds then. Out of range keeps the
    // value from before (7), so it has to arrive in one piece.
    using Stored = std::function<double()>;
    const std::tuple<const char*, const char*, bool, double, Stored> rows[] = {
        {"TextStartD", "12abc", false, 12, [&] { return m.StartD; }},
        {"TextStartHH", "2.5", false, 2, [&] { return m.StartHH; }}, // rounded
        {"TextID", "2147483648", true, 7, [&] { return m.ID; }},
        {"TextVT", "1e999", true, 7, [&] { return m.VT; }},
        {"TextCT2", ".25x", false, 0.25, [&] { return m.CT[3]; }},
        {"TextStopD", "45", false, 45, [&] { return m.Timer3; }}, // the timer, not the day
    };
    for (const auto& [field, text, paste, expected, stored] : rows) {
        f.type(QLatin1String(field), QLatin1String(text), paste);
        QCOMPARE(f.edit(field)->text(), QLatin1String(text));
        QCOMPARE(stored(), expected);
    }
    QCOMPARE(m.StopD, 7); // under TIMER the day field holds the third timer number
}

// Catches: CLOSE sending anything, edits lost on reopening, the file name kept with its
// blanks, the clock box remembered.
void TestDlgSettings::closeAndReopenKeepsEdits()
{
    Fixture f;
    f.m.CirNum = 2;
    f.open();
    f.choose(f.dlg->comboSens(1), 4); // CLC: 0.5 A becomes 1k
    f.type(f.dlg->textCT(1), QStringLiteral("2.5"));
    f.click("CheckAdjust");
    // The file name loses blanks at its ends in the field and the record (pasted, in
    // sendFromTheDialog).
    f.type("TextDataFName", QStringLiteral(" TEST "));
    QCOMPARE(f.edit("TextDataFName")->text() + '|' + f.m.DataFName, "TEST|TEST");
    f.tabs()->setCurrentIndex(4);
    f.bench.clearWire();
    f.click("CommandClose");
    QVERIFY(!f.dlg->isVisible());
    QVERIFY(f.bench.wire().isEmpty());

    DlgSettings dlg(*f.bench.session, nullptr);
    dlg.show();
    QCOMPARE(dlg.findChild<QTabWidget*>("SSTab1")->currentIndex(), 0);
    QCOMPARE(dlg.comboSens(1)->currentText() + dlg.comboIRange(1)->currentText() + ' ' +
                 dlg.textCT(1)->text() + ' ' + dlg.findChild<QLineEdit*>("TextDataFName")->text(),
             QStringLiteral("CLC1k 2.5 TEST"));
    QVERIFY(!dlg.findChild<QCheckBox*>("CheckAdjust")->isChecked());
    // The close box closes as CLOSE does while nothing runs.
    QVERIFY(dlg.close());
    QVERIFY(!dlg.isVisible());
}

// Catches: SEND without asking when nothing was received, the commands usable or the
// dialog closable during the send, the dialog's edits, also one made during the send, not
// reaching the instrument.
void TestDlgSettings::sendFromTheDialog()
{
    Fixture f;
    ModSet& m = f.m;
    // Values the instrument accepts, so that it refuses nothing.
    m.CirNum = m.Average = m.ID = 1, m.VT = m.CT[1] = m.CT[2] = 1;
    m.Sens = {0, 1, 1, 1, 1}, m.IRange = {0, 7, 7, 7, 7};
    m.StartY = m.StopY = 2026, m.StartM = m.StartD = m.StopM = m.StopD = 1;
    f.open();
    // The user's edits: 1P3W with two circuits, a FLX-5k on the second, a pasted name.
    f.choose("ComboWiring", 1);
    f.choose("ComboCirNum", 1);
    f.choose(f.dlg->comboSens(1), 3);
    f.type(f.dlg->textCT(1), QStringLiteral("0.5"));
    f.type("TextDataFName", QStringLiteral(" RUN1 "), true);
    f.click("CheckAdjust");

    int written = 0;
    bool locked = true, closeRefused = false;
    connect(&f.bench.link(), &Link::written, f.dlg.data(), [&](const QByteArray&, int timeoutMs) {
        locked = locked && f.enabled(kCommands, false) && timeoutMs == 1000;
        if (++written == 3) // the close box, Escape and an edit, while the instrument is talked to
            TestUtil::later(0, [&] {
                f.dlg->close();
                QTest::keyClick(f.dlg.data(), Qt::Key_Escape);
                closeRefused = f.dlg->isVisible();
                f.type("TextID", QStringLiteral("42"));
            });
    });
    f.bench.clearWire();
    // Nothing was received over this connection: SEND asks first, and No sends nothing.
    const QString notReceived =
        "Not every setting was received from the instrument. Sending now writes defaults over "
        "the instrument's own settings. Send anyway?";
    f.bench.messages.answer(false);
    QVERIFY(f.run("CommandSend"));
    QCOMPARE(f.bench.wire(), QList<QByteArray>());
    QVERIFY(f.enabled(kCommands, true));
    QVERIFY(f.run("CommandSend"));
    QVERIFY(locked && closeRefused && f.dlg->isVisible() && f.enabled(kCommands, true));
    QCOMPARE(f.bench.messages.texts(), QStringList({notReceived, notReceived}));

    // The exchange test owns the command sequence; here what the dialog's edits put in it.
    const QList<QByteArray> wire = f.bench.wire();
    for (const char* line : {":WIR 1P3W", ":CIRC 2", ":SENS 2,FLX-5K", ":CURR:RANG 2,5000",
                             ":CT 2,0.5", ":FILE:MEAS RUN1", "ID 42"})
        QVERIFY2(wire.contains(line), line);
    QVERIFY2(wire.last().startsWith(":CLOCK 20"), wire.last().constData());
}

// Catches: controls usable during RECEIVE, the received record shown wrong, a failed receive
// leaving the dialog locked or not showing the record.
void TestDlgSettings::receive()
{
    Fixture f(SimBench::withFault("drop,:HEAD,2")); // the second receive times out
    f.open();
    SimSettings& s = f.bench.instrument.state().settings;
    s.wiring = 2, s.cirNum = 2, s.copyDst = 2, s.id = 42; // 3P3W, shown as 3P3W2M
    s.sens = {5, 3, 0, 0};
    s.iRange = {0, 9, 5, 5};
    s.ct = {0.5, 2000, 1, 1};
    bool locked = true;
    connect(&f.bench.link(), &Link::written, f.dlg.data(),
            [&] { locked = locked && f.enabled(kCommands, false); });
    f.bench.clearWire();
    QVERIFY(f.run("CommandRecv"));
    QVERIFY(locked && f.enabled(kCommands, true));
    QCOMPARE(f.bench.messages.texts(), QStringList());
    QCOMPARE(f.combo("ComboWiring")->currentText() + f.combo("ComboCirNum")->currentText(),
             QStringLiteral("3P3W2Mx2"));
    QVERIFY(f.rowEnabled(1) && !f.rowEnabled(2));
    QCOMPARE(f.dlg->comboSens(1)->currentText() + f.dlg->comboIRange(1)->currentText(),
             QStringLiteral("FLX-5k5k"));
    QCOMPARE(f.texts({"TextCT0", "TextCT1", "TextID"}), QStringList({"0.5", "2000", " 42"}));
    QCOMPARE(f.combo("ComboCopyDst")->currentIndex(), -1);
    QCOMPARE(f.m.CopyDst, 2);
    // What was shown goes back unchanged: the instrument accepts every command, and SEND
    // does not ask after a receive.
    QVERIFY(f.run("CommandSend"));
    QCOMPARE(f.bench.messages.texts(), QStringList());

    // A receive that fails at once still shows the record, changed meanwhile, and ends.
    f.m.Wiring = 5;
    f.bench.clearWire();
    QVERIFY(f.run("CommandRecv"));
    QCOMPARE(f.bench.wire(), QList<QByteArray>({":HEAD OFF"}));
    QCOMPARE(f.bench.messages.texts(), QStringList({"ERROR! 01:HEAD OFF\r\n"}));
    QCOMPARE(f.combo("ComboWiring")->currentText(), QStringLiteral("3P4W4I"));
    QVERIFY(f.enabled(kCommands, true));
}

void TestDlgSettings::exchangeStopsWhenTheDialogGoes_data()
{
    // When the dialog goes: at the third line of SEND or RECEIVE, while SEND waits at a
    // refused command, or while SEND's question is open.
    QTest::addColumn<QString>("at");
    QTest::addColumn<QString>("how");
    for (const char* at : {"send", "receive", "refusal", "question"})
        for (const char* how : {"disconnect", "quit", "measurement closed", "unload", "port lost"})
            QTest::addRow("%s, %s", at, how) << QString::fromLatin1(at) << QString::fromLatin1(how);
}

// The dialog as the program opens it, unloaded by its window, a disconnect, the program's
// close, the port's loss or alone. Catches: an exchange that writes or shows anything more
// (on a dead line each command would wait out its time-out), a refusal or question answered
// after the dialog went going on with SEND, a freed dialog or job touched by a box (ASan).
void TestDlgSettings::exchangeStopsWhenTheDialogGoes()
{
    QFETCH(QString, at);
    QFETCH(QString, how);
    Fixture f;
    if (at == "question") // the measurement window's receive fails: nothing counts as received
        f.bench.instrument.config().faults.push_back({SimFault::Kind::Drop, ":HEAD", 1});
    f.bench.instrument.addCommand( // refused: the third command of SEND
        "SAMP", [](SimInstrument&, const QByteArray&) { return SimReply{"PARAMETER ERROR\r\n"}; });
    f.open(true);
    QVERIFY(f.dlg);
    f.bench.messages.clear();
    f.bench.instrument.config().replyDelayMs = 50; // the dialog goes while a reply is due
    qsizetype writtenThen = -1, shownThen = -1;
    const auto go = [&] {
        writtenThen = f.bench.timeouts.size(); // one for each line written
        shownThen = f.bench.messages.shown().size();
        if (how == "quit")
            f.bench.start->close();
        else if (how == "disconnect")
            f.bench.start->onConnectClicked();
        else if (how == "measurement closed")
            f.meas->close();
        else if (how == "unload")
            f.dlg->unload();
        else {
            emit f.bench.port->lost(QStringLiteral("unplugged"));
            QCoreApplication::sendPostedEvents(); // handled before a box can be answered
        }
    };
    if (at == "send" || at == "receive")
        f.bench.onLine("", 3, go);
    f.bench.messages.onShow([&](const ScriptedMessages::Shown& shown) {
        const bool box = (at == "refusal" && shown.kind == MessageKind::Warning) ||
                         (at == "question" && shown.kind == MessageKind::Question);
        if (box && shownThen < 0)
            go(); // the box is answered right after this
    });
    f.click(at == "receive" ? "CommandRecv" : "CommandSend");

    QVERIFY(TestUtil::waitFor([&] { return f.dlg.isNull(); })); // unloaded and destroyed
    QVERIFY(f.bench.settle());
    QCOMPARE(f.bench.timeouts.size(), writtenThen);
    // Nothing more is shown but the loss of the port itself.
    const QStringList after = f.bench.messages.texts().mid(shownThen);
    QCOMPARE(after.size(), how == "port lost" ? 1 : 0);
    QVERIFY(after.isEmpty() || after[0].endsWith(QLatin1String("unplugged.")));
}

QTEST_MAIN(TestDlgSettings)
#include "test_dlgsettings.moc"
