#include "DlgSettings.h"

#include "InstrumentSession.h"
#include "MessageService.h"
#include "ModSet.h"
#include "NumberText.h"
#include "SensorRule.h"
#include "SettingsTable.h"
#include "WiringRule.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

using namespace SettingsTable;

// A list with the items of the member it shows.
QComboBox* makeCombo(QWidget* parent, const QString& name)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    for (const Row& row : rows())
        for (const Member& m : row.members)
            for (int e = m.first(); e <= m.last(); ++e)
                if (m.control(e) == name)
                    combo->addItems(m.texts);
    combo->setEditable(false);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return combo;
}

QLineEdit* makeText(QWidget* parent, const QString& name, int chars)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (chars > 0) {
        // Room for the digits plus the frame, so the date fields stay compact.
        const int width = edit->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0')));
        edit->setFixedWidth(width + 16);
    }
    return edit;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QCheckBox* makeCheck(QWidget* parent, const QString& name, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

QFrame* makeLine(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// A greyed box counts as ticked.
bool boxFlag(const QCheckBox* box)
{
    return box->checkState() != Qt::Unchecked;
}

// The date and time fields in the order they stand, and what each is when read out.
const char* const kDateFields[] = {"Y", "M", "D", "HH", "MM"};
const char* const kDateParts[] = {" year", " month", " day", " hour", " minute"};

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

void setRowEnabled(std::initializer_list<QWidget*> widgets, bool enabled)
{
    for (QWidget* w : widgets)
        w->setEnabled(enabled);
}

} // namespace

DlgSettings::DlgSettings(InstrumentSession& session, QWidget* parent)
    : QDialog(parent), m_session(session), m_set(session.settings())
{
    setObjectName(QStringLiteral("DlgSettings"));
    setWindowTitle(QStringLiteral("SETTINGS"));
    setModal(true);
    buildUi();
    bindControls();
    connectHandlers();
    // Load: the controls show the record as it is now; CheckAdjust starts unticked.
    m_tabs->setCurrentIndex(0);
    DispSettings();
}

void DlgSettings::buildUi()
{
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));
    m_tabs->addTab(buildMeasureTab(), QStringLiteral("&Measure"));
    m_tabs->addTab(buildOutputTab(), QStringLiteral("&Output"));
    m_tabs->addTab(buildSaveItemsTab(), QStringLiteral("Save &items"));
    m_tabs->addTab(buildHarmonicTab(), QStringLiteral("&Harmonic"));
    m_tabs->addTab(buildSystemTab(), QStringLiteral("S&ystem"));

    CommandRecv = new QPushButton(QStringLiteral("&RECEIVE"), this);
    CommandRecv->setObjectName(QStringLiteral("CommandRecv"));
    CommandSend = new QPushButton(QStringLiteral("&SEND"), this);
    CommandSend->setObjectName(QStringLiteral("CommandSend"));
    CommandClose = new QPushButton(QStringLiteral("&CLOSE"), this);
    CommandClose->setObjectName(QStringLiteral("CommandClose"));
    // Return in an entry field must not press RECEIVE or SEND behind the user's back.
    for (QPushButton* b : {CommandRecv, CommandSend, CommandClose}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CommandRecv);
    buttons->addWidget(CommandSend);
    buttons->addWidget(CommandClose);
    buttons->addStretch(1);

    auto* top = new QVBoxLayout(this);
    top->addWidget(m_tabs);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* DlgSettings::buildMeasureTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabMeasure"));
    auto* grid = new QGridLayout(page);

    auto* labelWiring = makeLabel(page, QStringLiteral("LabelWiring"), QStringLiteral("&WIRING"));
    ComboWiring = makeCombo(page, QStringLiteral("ComboWiring"));
    labelWiring->setBuddy(ComboWiring);
    ComboCirNum = makeCombo(page, QStringLiteral("ComboCirNum"));
    ComboCirNum->setAccessibleName(QStringLiteral("WIRING circuits"));

    auto* labelSampling =
        makeLabel(page, QStringLiteral("LabelSampling"), QStringLiteral("S&AMPLING"));
    auto* comboSampling = makeCombo(page, QStringLiteral("ComboSampling"));
    labelSampling->setBuddy(comboSampling);
    auto* comboFreq = makeCombo(page, QStringLiteral("ComboFreq"));
    comboFreq->setAccessibleName(QStringLiteral("SAMPLING frequency"));

    auto* labelVar =
        makeLabel(page, QStringLiteral("LabelVarMethod"), QStringLiteral("&VAR METHOD"));
    auto* comboVarMethod = makeCombo(page, QStringLiteral("ComboVarMethod"));
    labelVar->setBuddy(comboVarMethod);

    auto* labelAverage =
        makeLabel(page, QStringLiteral("LabelAverage"), QStringLiteral("AVERA&GE"));
    auto* comboAverage = makeCombo(page, QStringLiteral("ComboAverage"));
    labelAverage->setBuddy(comboAverage);

    auto* labelURange =
        makeLabel(page, QStringLiteral("LabelURange"), QStringLiteral("VOLT RA&NGE"));
    auto* comboURange = makeCombo(page, QStringLiteral("ComboURange"));
    labelURange->setBuddy(comboURange);

    auto* labelVT = makeLabel(page, QStringLiteral("LabelVT"), QStringLiteral("V&T(PT)"));
    auto* textVT = makeText(page, QStringLiteral("TextVT"), 16);
    labelVT->setBuddy(textVT);

    grid->addWidget(labelWiring, 0, 0);
    grid->addWidget(ComboWiring, 0, 1);
    grid->addWidget(ComboCirNum, 0, 2);
    grid->addWidget(labelSampling, 1, 0);
    grid->addWidget(comboSampling, 1, 1);
    grid->addWidget(comboFreq, 1, 2);
    grid->addWidget(labelVar, 2, 0);
    grid->addWidget(comboVarMethod, 2, 1);
    grid->addWidget(labelAverage, 3, 0);
    grid->addWidget(comboAverage, 3, 1);
    grid->addWidget(labelURange, 4, 0);
    grid->addWidget(comboURange, 4, 1);
    grid->addWidget(labelVT, 5, 0);
    grid->addWidget(textVT, 5, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(makeLine(page), 6, 0, 1, 4);

    const QString sensor = QStringLiteral("SENSOR");
    const QString range = QStringLiteral("CURR RANGE");
    const QString ct = QStringLiteral("CT");
    grid->addWidget(makeLabel(page, QStringLiteral("LabelSensor"), sensor), 7, 1);
    grid->addWidget(makeLabel(page, QStringLiteral("LabelCurrRange"), range), 7, 2);
    grid->addWidget(makeLabel(page, QStringLiteral("LabelCT"), ct), 7, 3);
    for (int k = 0; k < 4; ++k) {
        const QString circuit = QStringLiteral("CIRCUIT%1").arg(k + 1);
        auto* label = makeLabel(page, QStringLiteral("LabelCircuit%1").arg(k),
                                QStringLiteral("CIRCUIT&%1").arg(k + 1));
        ComboSens[k] = makeCombo(page, QStringLiteral("ComboSens%1").arg(k));
        ComboSens[k]->setAccessibleName(circuit + QLatin1Char(' ') + sensor);
        label->setBuddy(ComboSens[k]);
        ComboIRange[k] = makeCombo(page, QStringLiteral("ComboIRange%1").arg(k));
        ComboIRange[k]->setAccessibleName(circuit + QLatin1Char(' ') + range);
        TextCT[k] = makeText(page, QStringLiteral("TextCT%1").arg(k), 16);
        TextCT[k]->setAccessibleName(circuit + QLatin1Char(' ') + ct);
        grid->addWidget(label, 8 + k, 0);
        grid->addWidget(ComboSens[k], 8 + k, 1);
        grid->addWidget(ComboIRange[k], 8 + k, 2);
        grid->addWidget(TextCT[k], 8 + k, 3, Qt::AlignLeft);
    }
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(12, 1);
    return page;
}

QWidget* DlgSettings::buildOutputTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabOutput"));
    auto* grid = new QGridLayout(page);

    const QString start = QStringLiteral("MEAS.START");
    auto* labelStart = makeLabel(page, QStringLiteral("LabelStart"), QStringLiteral("MEAS.ST&ART"));
    ComboStartMeth = makeCombo(page, QStringLiteral("ComboStartMeth"));
    labelStart->setBuddy(ComboStartMeth);
    for (int i = 0; i < 5; ++i) {
        m_start[i] = makeText(
            page, QStringLiteral("TextStart%1").arg(QLatin1String(kDateFields[i])), i ? 2 : 4);
        m_start[i]->setAccessibleName(start + QLatin1String(kDateParts[i]));
    }

    auto* labelStop = makeLabel(page, QStringLiteral("LabelStop"), QStringLiteral("MEAS.STO&P"));
    ComboStopMeth = makeCombo(page, QStringLiteral("ComboStopMeth"));
    labelStop->setBuddy(ComboStopMeth);
    for (int i = 0; i < 5; ++i)
        m_stop[i] = makeText(page, QStringLiteral("TextStop%1").arg(QLatin1String(kDateFields[i])),
                             i ? 2 : 4);
    m_stopSep1 = makeLabel(page, QStringLiteral("Label15"), QStringLiteral("/"));
    m_stopSep2 = makeLabel(page, QStringLiteral("Label16"), QStringLiteral("/"));
    m_stopTimeSep = makeLabel(page, QStringLiteral("Label17"), QStringLiteral(":"));

    // Date and time fields in one row each: year / month / day  hour : minute.
    auto dateRow = [page](const std::array<QLineEdit*, 5>& fields, QLabel* s1, QLabel* s2,
                          QLabel* s3) {
        auto* row = new QHBoxLayout;
        row->addWidget(fields[0]);
        row->addWidget(s1);
        row->addWidget(fields[1]);
        row->addWidget(s2);
        row->addWidget(fields[2]);
        row->addSpacing(page->fontMetrics().horizontalAdvance(QStringLiteral("00")));
        row->addWidget(fields[3]);
        row->addWidget(s3);
        row->addWidget(fields[4]);
        row->addStretch(1);
        return row;
    };
    auto sep = [page](const QString& text) { return makeLabel(page, QString(), text); };
    grid->addWidget(labelStart, 0, 0);
    grid->addWidget(ComboStartMeth, 0, 1);
    grid->addLayout(dateRow(m_start, sep(QStringLiteral("/")), sep(QStringLiteral("/")),
                            sep(QStringLiteral(":"))),
                    0, 2);
    grid->addWidget(labelStop, 1, 0);
    grid->addWidget(ComboStopMeth, 1, 1);
    grid->addLayout(dateRow(m_stop, m_stopSep1, m_stopSep2, m_stopTimeSep), 1, 2);
    grid->addWidget(makeLine(page), 2, 0, 1, 3);

    auto* labelIntvl =
        makeLabel(page, QStringLiteral("LabelIntvl"), QStringLiteral("INTERVAL &TIME"));
    auto* comboIntvl = makeCombo(page, QStringLiteral("ComboIntvl"));
    labelIntvl->setBuddy(comboIntvl);

    auto* labelMedia = makeLabel(page, QStringLiteral("LabelMedia"), QStringLiteral("SAVE I&N..."));
    auto* comboMedia = makeCombo(page, QStringLiteral("ComboMedia"));
    labelMedia->setBuddy(comboMedia);

    auto* labelFName =
        makeLabel(page, QStringLiteral("LabelDataFName"), QStringLiteral("&FILE NAME"));
    TextDataFName = makeText(page, QStringLiteral("TextDataFName"), 0);
    TextDataFName->setMinimumWidth(
        TextDataFName->fontMetrics().horizontalAdvance(QStringLiteral("XXXXXXXXXXXXXXXX")) + 16);
    labelFName->setBuddy(TextDataFName);

    auto* labelRS =
        makeLabel(page, QStringLiteral("LabelRSConnection"), QStringLiteral("RS CONNECTION"));
    auto* comboRSConnection = makeCombo(page, QStringLiteral("ComboRSConnection"));
    labelRS->setBuddy(comboRSConnection);

    auto* labelCopy =
        makeLabel(page, QStringLiteral("LabelCopyDst"), QStringLiteral("&DISPLAY COPY"));
    auto* comboCopyDst = makeCombo(page, QStringLiteral("ComboCopyDst"));
    labelCopy->setBuddy(comboCopyDst);

    grid->addWidget(labelIntvl, 3, 0);
    grid->addWidget(comboIntvl, 3, 1);
    grid->addWidget(labelMedia, 4, 0);
    grid->addWidget(comboMedia, 4, 1);
    grid->addWidget(labelFName, 5, 0);
    grid->addWidget(TextDataFName, 5, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(labelRS, 6, 0);
    grid->addWidget(comboRSConnection, 6, 1);
    grid->addWidget(labelCopy, 7, 0);
    grid->addWidget(comboCopyDst, 7, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(8, 1);
    return page;
}

QWidget* DlgSettings::buildSaveItemsTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSaveItems"));
    auto* checkNorm = makeCheck(page, QStringLiteral("CheckNorm"), QStringLiteral("&NORM"));
    auto* checkHarm = makeCheck(page, QStringLiteral("CheckHarm"), QStringLiteral("H&ARM."));
    auto* checkInst = makeCheck(page, QStringLiteral("CheckInst"), QStringLiteral("INS&T."));
    auto* checkAve = makeCheck(page, QStringLiteral("CheckAve"), QStringLiteral("A&VE."));
    auto* checkMax = makeCheck(page, QStringLiteral("CheckMax"), QStringLiteral("MA&X."));
    auto* checkMin = makeCheck(page, QStringLiteral("CheckMin"), QStringLiteral("MIN."));
    // "&&" is a literal ampersand in a caption.
    auto* checkInteg =
        makeCheck(page, QStringLiteral("CheckInteg"), QStringLiteral("INTEG. && &DEM"));

    auto* grid = new QGridLayout(page);
    grid->addWidget(checkNorm, 0, 0);
    grid->addWidget(checkHarm, 0, 1);
    grid->addWidget(makeLine(page), 1, 0, 1, 5);
    grid->addWidget(checkInst, 2, 0);
    grid->addWidget(checkAve, 2, 1);
    grid->addWidget(checkMax, 2, 2);
    grid->addWidget(checkMin, 2, 3);
    grid->addWidget(makeLine(page), 3, 0, 1, 5);
    grid->addWidget(checkInteg, 4, 0, 1, 2);
    grid->setColumnStretch(4, 1);
    grid->setRowStretch(5, 1);
    return page;
}

QWidget* DlgSettings::buildHarmonicTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabHarmonic"));
    auto* grid = new QGridLayout(page);

    grid->addWidget(
        makeLabel(page, QStringLiteral("LabelDetailed"), QStringLiteral("Detailed settings")), 0, 0,
        1, 4);

    grid->addWidget(makeLabel(page, QStringLiteral("LabelCircuit"), QStringLiteral("CIRCUIT")), 1,
                    0);
    auto* circuits = new QHBoxLayout;
    for (int k = 0; k < 4; ++k) {
        circuits->addWidget(makeCheck(page, QStringLiteral("CheckCircuit%1").arg(k),
                                      QStringLiteral("&%1").arg(k + 1)));
    }
    circuits->addStretch(1);
    grid->addLayout(circuits, 1, 1);

    grid->addWidget(makeLabel(page, QStringLiteral("LabelCH"), QStringLiteral("CH")), 2, 0);
    auto* channels = new QHBoxLayout;
    for (int k = 0; k < 3; ++k)
        channels->addWidget(
            makeCheck(page, QStringLiteral("CheckU%1").arg(k),
                      k == 0 ? QStringLiteral("&U1") : QStringLiteral("U%1").arg(k + 1)));
    for (int k = 0; k < 4; ++k)
        channels->addWidget(
            makeCheck(page, QStringLiteral("CheckI%1").arg(k), QStringLiteral("I%1").arg(k + 1)));
    channels->addWidget(makeCheck(page, QStringLiteral("CheckP"), QStringLiteral("&P1")));
    channels->addStretch(1);
    grid->addLayout(channels, 2, 1);

    grid->addWidget(makeLabel(page, QStringLiteral("LabelType"), QStringLiteral("TYPE")), 3, 0);
    auto* checkLevel = makeCheck(page, QStringLiteral("CheckLevel"), QStringLiteral("&LEVEL"));
    auto* checkPercent = makeCheck(page, QStringLiteral("CheckPercent"), QStringLiteral("%of&FND"));
    auto* checkPhase = makeCheck(page, QStringLiteral("CheckPhase"), QStringLiteral("PH&ASE"));
    auto* checkTHD = makeCheck(page, QStringLiteral("CheckTHD"), QStringLiteral("&THD"));
    auto* checkTotal = makeCheck(page, QStringLiteral("CheckTotal"), QStringLiteral("TOTAL"));
    auto* checkWave = makeCheck(page, QStringLiteral("CheckWave"), QStringLiteral("&WAVE"));
    auto* types = new QHBoxLayout;
    for (QCheckBox* b : {checkLevel, checkPercent, checkPhase, checkTHD, checkTotal, checkWave})
        types->addWidget(b);
    types->addStretch(1);
    grid->addLayout(types, 3, 1);
    grid->addWidget(makeLine(page), 4, 0, 1, 2);

    auto* labelOrd = makeLabel(page, QStringLiteral("LabelOrder"), QStringLiteral("OR&DER"));
    ComboOrd = makeCombo(page, QStringLiteral("ComboOrd"));
    labelOrd->setBuddy(ComboOrd);
    auto* ordRow = new QHBoxLayout;
    ordRow->addWidget(ComboOrd);
    ordRow->addStretch(1);
    grid->addWidget(labelOrd, 5, 0);
    grid->addLayout(ordRow, 5, 1);

    // Orders 01..40 in four rows of ten, read across.
    auto* orders = new QGridLayout;
    for (int k = 0; k < 40; ++k) {
        CheckOrd[k] = makeCheck(page, QStringLiteral("CheckOrd%1").arg(k),
                                QStringLiteral("%1").arg(k + 1, 2, 10, QLatin1Char('0')));
        orders->addWidget(CheckOrd[k], k / 10, k % 10);
    }
    grid->addLayout(orders, 6, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(7, 1);
    return page;
}

QWidget* DlgSettings::buildSystemTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSystem"));
    auto* grid = new QGridLayout(page);

    auto* labelTHD = makeLabel(page, QStringLiteral("LabelTHD"), QStringLiteral("&THD"));
    auto* comboTHD = makeCombo(page, QStringLiteral("ComboTHD"));
    labelTHD->setBuddy(comboTHD);

    auto* labelRS = makeLabel(page, QStringLiteral("LabelRS232C"), QStringLiteral("RS-232C"));
    auto* labelBaud = makeLabel(page, QStringLiteral("LabelBaud"), QStringLiteral("BAUDRATE"));
    auto* comboBaud = makeCombo(page, QStringLiteral("ComboBaud"));
    labelBaud->setBuddy(comboBaud);
    // "TERMINATEOR": misspelt on purpose, kept as users know it.
    auto* labelTerm = makeLabel(page, QStringLiteral("LabelTerm"), QStringLiteral("TERMINATEOR"));
    auto* comboTerm = makeCombo(page, QStringLiteral("ComboTerm"));
    labelTerm->setBuddy(comboTerm);
    auto* labelFlow = makeLabel(page, QStringLiteral("LabelFlow"), QStringLiteral("FLOW CONTROL"));
    auto* comboFlow = makeCombo(page, QStringLiteral("ComboFlow"));
    labelFlow->setBuddy(comboFlow);

    auto* labelBL = makeLabel(page, QStringLiteral("LabelBL"), QStringLiteral("&BACKLIGHT"));
    auto* comboBL = makeCombo(page, QStringLiteral("ComboBL"));
    labelBL->setBuddy(comboBL);
    auto* labelBeep = makeLabel(page, QStringLiteral("LabelBeep"), QStringLiteral("BEEP SOU&ND"));
    auto* comboBeep = makeCombo(page, QStringLiteral("ComboBeep"));
    labelBeep->setBuddy(comboBeep);
    auto* labelID = makeLabel(page, QStringLiteral("LabelID"), QStringLiteral("I&D"));
    auto* textID = makeText(page, QStringLiteral("TextID"), 11);
    labelID->setBuddy(textID);
    auto* labelLang = makeLabel(page, QStringLiteral("LabelLang"), QStringLiteral("&LANGUAGE"));
    auto* comboLang = makeCombo(page, QStringLiteral("ComboLang"));
    labelLang->setBuddy(comboLang);
    CheckAdjust = makeCheck(page, QStringLiteral("CheckAdjust"),
                            QStringLiteral("Set the Kestrel's clock to &PC's clock"));

    grid->addWidget(labelTHD, 0, 0);
    grid->addWidget(comboTHD, 0, 1);
    grid->addWidget(makeLine(page), 1, 0, 1, 3);
    grid->addWidget(labelRS, 2, 0);
    grid->addWidget(labelBaud, 3, 0);
    grid->addWidget(comboBaud, 3, 1);
    grid->addWidget(labelTerm, 4, 0);
    grid->addWidget(comboTerm, 4, 1);
    grid->addWidget(labelFlow, 5, 0);
    grid->addWidget(comboFlow, 5, 1);
    grid->addWidget(makeLine(page), 6, 0, 1, 3);
    grid->addWidget(labelBL, 7, 0);
    grid->addWidget(comboBL, 7, 1);
    grid->addWidget(labelBeep, 8, 0);
    grid->addWidget(comboBeep, 8, 1);
    grid->addWidget(labelID, 9, 0);
    grid->addWidget(textID, 9, 1);
    grid->addWidget(labelLang, 10, 0);
    grid->addWidget(comboLang, 10, 1);
    grid->addWidget(makeLine(page), 11, 0, 1, 3);
    grid->addWidget(CheckAdjust, 12, 0, 1, 3);
    // The RS-232C rows are indented under their heading.
    for (QLabel* l : {labelBaud, labelTerm, labelFlow})
        l->setIndent(l->fontMetrics().horizontalAdvance(QStringLiteral("MM")));
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(13, 1);
    return page;
}

void DlgSettings::bindControls()
{
    // Each member's control, found by its name, shows it and stores the user's changes: lists
    // and check boxes answer the user's choices only (activated, clicked), never the selections
    // DispSettings makes; entry fields store every change, DispSettings' included.
    for (const Row& row : rows())
        for (const Member& member : row.members)
            for (int e = member.first(); e <= member.last(); ++e) {
                QWidget* w = findChild<QWidget*>(member.control(e));
                // The stop fields hold the date or the timer by the stop method (below).
                if (!w || std::find(m_stop.begin(), m_stop.end(), w) != m_stop.end())
                    continue;
                m_bound.push_back({w, &member, e});
                const Member* m = &member;
                if (auto* combo = qobject_cast<QComboBox*>(w)) {
                    // The settings the instrument only reports are shown, never edited here.
                    if (!row.command)
                        combo->setEnabled(false);
                    if (!row.command || member.rule != Rule::None)
                        continue; // the rules' lists are connected by hand
                    connect(combo, &QComboBox::activated, this, [this, m, e, combo](int position) {
                        *std::get<qint32*>(m->at(m_set, e)) = m->code(position).value_or(0);
                        // What these choose lays out other controls.
                        if (combo == ComboStartMeth || combo == ComboStopMeth || combo == ComboOrd)
                            DispSettings();
                    });
                } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
                    connect(box, &QCheckBox::clicked, this, [this, m, e, box] {
                        *std::get<bool*>(m->at(m_set, e)) = boxFlag(box);
                    });
                } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                    connect(edit, &QLineEdit::textChanged, this,
                            [this, m, e, edit] { storeText(edit, *m, e); });
                }
            }
}

void DlgSettings::connectHandlers()
{
    connect(ComboWiring, &QComboBox::activated, this, &DlgSettings::ComboWiring_Click);
    connect(ComboCirNum, &QComboBox::activated, this, &DlgSettings::ComboCirNum_Click);
    for (int k = 0; k < 4; ++k) {
        connect(ComboSens[k], &QComboBox::activated, this, [this, k] { ComboSens_Click(k); });
        connect(ComboIRange[k], &QComboBox::activated, this, [this, k] { ComboIRange_Click(k); });
    }
    for (int i = 0; i < 3; ++i)
        connect(m_stop[i], &QLineEdit::textChanged, this, [this, i] { TextStopDate_Change(i); });
    // The stop time's hour and minute are stored whatever the stop method.
    for (int i = 3; i < 5; ++i)
        connect(m_stop[i], &QLineEdit::textChanged, this, [this, i](const QString& text) {
            if (const auto value = IntegerValue(text))
                (i == 3 ? m_set.StopHH : m_set.StopMM) = *value;
        });

    connect(CommandRecv, &QPushButton::clicked, this, &DlgSettings::onReceiveClicked);
    connect(CommandSend, &QPushButton::clicked, this, &DlgSettings::onSendClicked);
    connect(CommandClose, &QPushButton::clicked, this, &DlgSettings::onCloseClicked);
}

// A number out of range for the setting keeps the previous value.
void DlgSettings::storeText(QLineEdit* edit, const Member& member, int element)
{
    const Ref ref = member.at(m_set, element);
    if (QString* const* name = std::get_if<QString*>(&ref)) {
        // A name never keeps a blank at either end; putting the trimmed text back raises one
        // more change, which finds nothing to trim and stores it.
        const QString trimmed = trimBlanks(edit->text());
        if (trimmed != edit->text())
            edit->setText(trimmed);
        else
            **name = trimmed;
    } else if (double* const* real = std::get_if<double*>(&ref)) {
        if (const auto value = RealValue(edit->text()))
            **real = *value;
    } else if (const auto value = IntegerValue(edit->text())) {
        *std::get<qint32*>(ref) = *value;
    }
}

void DlgSettings::ComboWiring_Click()
{
    ModSet& m = m_set;
    m.Wiring = ComboWiring->currentIndex();
    const int count = ComboCirNum->currentIndex() + 1;
    if (count > 0 && WiringRule::allowedCount(m.Wiring, count) != count) {
        ComboCirNum->setCurrentIndex(0);
        m.CirNum = 1;
        DispSettings();
    }
}

void DlgSettings::ComboCirNum_Click()
{
    ModSet& m = m_set;
    const int count = ComboCirNum->currentIndex() + 1;
    const int allowed = WiringRule::allowedCount(m.Wiring, count);
    if (allowed != count)
        ComboCirNum->setCurrentIndex(allowed - 1);
    m.CirNum = ComboCirNum->currentIndex() + 1;
    DispSettings();
}

void DlgSettings::applySensorRule(int k)
{
    const qint32 range =
        SensorRule::allowedRange(ComboSens[k]->currentIndex(), ComboIRange[k]->currentIndex());
    ComboIRange[k]->setCurrentIndex(range);
    m_set.IRange[k + 1] = range;
}

void DlgSettings::ComboSens_Click(int k)
{
    applySensorRule(k);
    m_set.Sens[k + 1] = ComboSens[k]->currentIndex();
}

void DlgSettings::ComboIRange_Click(int k)
{
    // Without a sensor there is no rule to apply, so the choice is not stored.
    const int sensor = ComboSens[k]->currentIndex();
    if (sensor < 0 || sensor >= SensorRule::SensorCount)
        return;
    applySensorRule(k);
}

void DlgSettings::TextStopDate_Change(int field)
{
    const auto value = IntegerValue(m_stop[field]->text());
    if (!value)
        return;
    ModSet& m = m_set;
    // The three fields hold the stop date under TIME and the timer under TIMER.
    qint32* const date[] = {&m.StopY, &m.StopM, &m.StopD};
    qint32* const timer[] = {&m.Timer1, &m.Timer2, &m.Timer3};
    if (m.StopMeth == 1)
        *date[field] = *value;
    else if (m.StopMeth == 2)
        *timer[field] = *value;
}

void DlgSettings::display(const Bound& b)
{
    const Ref ref = b.member->at(m_set, b.element);
    if (auto* combo = qobject_cast<QComboBox*>(b.control)) {
        // A code the list has no entry for shows no selection rather than a wrong one.
        combo->setCurrentIndex(b.member->position(codeOf(ref)).value_or(-1));
    } else if (auto* box = qobject_cast<QCheckBox*>(b.control)) {
        box->setCheckState(codeOf(ref) ? Qt::Checked : Qt::Unchecked);
    } else if (auto* edit = qobject_cast<QLineEdit*>(b.control)) {
        if (QString* const* name = std::get_if<QString*>(&ref))
            edit->setText(**name);
        else if (std::holds_alternative<double*>(ref))
            edit->setText(PlainForm(numberOf(ref)));
        else
            edit->setText(b.member->blankShown ? BlankForm(codeOf(ref))
                                               : QString::number(codeOf(ref)));
    }
}

void DlgSettings::DispSettings()
{
    const ModSet& m = m_set;
    for (const Bound& b : m_bound)
        display(b);

    // Circuit rows follow the count; no count (nothing received) leaves them alone. A
    // received sensor and range pair is shown as received.
    const int last = ComboCirNum->currentIndex();
    if (last >= 0)
        for (int k = 0; k < 4; ++k)
            setRowEnabled({ComboSens[k], ComboIRange[k], TextCT[k]}, k <= last);

    // The start fields are for a timed start only.
    const int startMeth = ComboStartMeth->currentIndex();
    if (startMeth >= 0)
        for (QLineEdit* field : m_start)
            field->setEnabled(startMeth == 1);

    // Stop time: a date under MANUAL and TIME, the three timer numbers under TIMER.
    const int stopMeth = ComboStopMeth->currentIndex();
    if (stopMeth == 0 || stopMeth == 1) {
        for (QWidget* w : {static_cast<QWidget*>(m_stop[3]), static_cast<QWidget*>(m_stop[4]),
                           static_cast<QWidget*>(m_stopTimeSep)})
            w->setVisible(true);
        m_stopSep1->setText(QStringLiteral("/"));
        m_stopSep2->setText(QStringLiteral("/"));
        const qint32 date[] = {m.StopY, m.StopM, m.StopD, m.StopHH, m.StopMM};
        for (int i = 0; i < 5; ++i) {
            m_stop[i]->setEnabled(stopMeth == 1);
            m_stop[i]->setAccessibleName(QStringLiteral("MEAS.STOP") +
                                         QLatin1String(kDateParts[i]));
            m_stop[i]->setText(QString::number(date[i]));
        }
    } else if (stopMeth == 2) {
        for (QWidget* w : {static_cast<QWidget*>(m_stop[3]), static_cast<QWidget*>(m_stop[4]),
                           static_cast<QWidget*>(m_stopTimeSep)})
            w->setVisible(false);
        m_stopSep1->setText(QStringLiteral(":"));
        m_stopSep2->setText(QStringLiteral(":"));
        const qint32 timer[] = {m.Timer1, m.Timer2, m.Timer3};
        for (int i = 0; i < 3; ++i) {
            m_stop[i]->setEnabled(true);
            m_stop[i]->setAccessibleName(QStringLiteral("MEAS.STOP TIMER %1").arg(i + 1));
            m_stop[i]->setText(QString::number(timer[i]));
        }
    }

    // Orders: the boxes keep their states but are editable only under SELECT.
    const bool select = ComboOrd->currentIndex() == 3;
    for (QCheckBox* box : CheckOrd)
        box->setEnabled(select);
}

void DlgSettings::setCommandsEnabled(bool enabled)
{
    CommandRecv->setEnabled(enabled);
    CommandSend->setEnabled(enabled);
    CommandClose->setEnabled(enabled);
}

int DlgSettings::checkAdjustValue() const
{
    switch (CheckAdjust->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

void DlgSettings::onReceiveClicked()
{
    if (exchanging())
        return;
    setCommandsEnabled(false);
    m_exchange = m_session.receiveSettings(this, [this](const Outcome&) {
        m_exchange.clear();
        // Also after a failed receive: the record then mixes new and earlier values.
        DispSettings();
        setCommandsEnabled(true);
    });
}

void DlgSettings::onSendClicked()
{
    if (exchanging())
        return;
    setCommandsEnabled(false);
    if (m_session.settingsReceived()) {
        send();
        return;
    }
    m_asking = true;
    MessageService::ask(
        QStringLiteral("Not every setting was received from the instrument. Sending now "
                       "writes defaults over the instrument's own settings. Send anyway?"),
        this, [this](bool yes) {
            // Unloaded while the question was open: the answer no longer starts a send.
            if (!std::exchange(m_asking, false))
                return;
            if (yes)
                send();
            else
                setCommandsEnabled(true);
        });
}

void DlgSettings::send()
{
    SendSettingsInputs inputs;
    // Read when the command is built, so an edit made during the send still counts.
    inputs.dataFName = [guard = QPointer<QLineEdit>(TextDataFName), name = m_set.DataFName] {
        return guard ? guard->text() : name;
    };
    inputs.checkAdjust = [guard = QPointer<DlgSettings>(this)] {
        return guard ? guard->checkAdjustValue() : 0;
    };
    m_exchange = m_session.sendSettings(this, inputs, [this](const SendResult&) {
        m_exchange.clear();
        setCommandsEnabled(true);
    });
}

void DlgSettings::onCloseClicked()
{
    close();
}

bool DlgSettings::exchanging() const
{
    return m_asking || !m_exchange.isNull();
}

void DlgSettings::unload()
{
    // Forced: the measurement window goes. Nothing more is written for the dialog.
    m_session.cancelJobsOf(this);
    m_exchange.clear();
    m_asking = false;
    hide();
    deleteLater();
}

void DlgSettings::reject()
{
    // Escape and the close box end here too; while the instrument is being talked to only a
    // forced unload may close the dialog.
    if (exchanging())
        return;
    QDialog::reject();
}

void DlgSettings::closeEvent(QCloseEvent* event)
{
    if (exchanging()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
