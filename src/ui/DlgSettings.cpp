#include "DlgSettings.h"

#include "InstrumentSession.h"
#include "MessageService.h"
#include "ModSet.h"
#include "NumberText.h"
#include "SensorRule.h"
#include "SettingChoices.h"
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

#include <utility>

namespace {

using SettingChoices::List;
using SettingChoices::texts;

QComboBox* makeCombo(QWidget* parent, const QString& name, const QStringList& items)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->addItems(items);
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

// Selects the list position of a code; a code the list has no entry for shows no selection
// rather than a wrong one.
void selectCode(QComboBox* combo, qint32 code)
{
    combo->setCurrentIndex(code >= 0 && code < combo->count() ? code : -1);
}

void showFlag(QCheckBox* box, bool flag)
{
    box->setCheckState(flag ? Qt::Checked : Qt::Unchecked);
}

// A greyed box counts as ticked.
bool boxFlag(const QCheckBox* box)
{
    return box->checkState() != Qt::Unchecked;
}

qint32 averagePosition(qint32 count)
{
    return SettingChoices::position(List::Average, count).value_or(-1);
}

QString blankLeadingInteger(qint32 value)
{
    return value >= 0 ? QLatin1Char(' ') + QString::number(value) : QString::number(value);
}

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
    ComboWiring = makeCombo(page, QStringLiteral("ComboWiring"), texts(List::Wiring));
    labelWiring->setBuddy(ComboWiring);
    ComboCirNum = makeCombo(page, QStringLiteral("ComboCirNum"), texts(List::CirNum));
    ComboCirNum->setAccessibleName(QStringLiteral("WIRING circuits"));

    auto* labelSampling =
        makeLabel(page, QStringLiteral("LabelSampling"), QStringLiteral("S&AMPLING"));
    ComboSampling = makeCombo(page, QStringLiteral("ComboSampling"), texts(List::Sampling));
    labelSampling->setBuddy(ComboSampling);
    ComboFreq = makeCombo(page, QStringLiteral("ComboFreq"), texts(List::Freq));
    ComboFreq->setAccessibleName(QStringLiteral("SAMPLING frequency"));

    auto* labelVar =
        makeLabel(page, QStringLiteral("LabelVarMethod"), QStringLiteral("&VAR METHOD"));
    ComboVarMethod = makeCombo(page, QStringLiteral("ComboVarMethod"), texts(List::VarMethod));
    labelVar->setBuddy(ComboVarMethod);

    auto* labelAverage =
        makeLabel(page, QStringLiteral("LabelAverage"), QStringLiteral("AVERA&GE"));
    ComboAverage = makeCombo(page, QStringLiteral("ComboAverage"), texts(List::Average));
    labelAverage->setBuddy(ComboAverage);

    auto* labelURange =
        makeLabel(page, QStringLiteral("LabelURange"), QStringLiteral("VOLT RA&NGE"));
    ComboURange = makeCombo(page, QStringLiteral("ComboURange"), texts(List::URange));
    labelURange->setBuddy(ComboURange);

    auto* labelVT = makeLabel(page, QStringLiteral("LabelVT"), QStringLiteral("V&T(PT)"));
    TextVT = makeText(page, QStringLiteral("TextVT"), 16);
    labelVT->setBuddy(TextVT);

    grid->addWidget(labelWiring, 0, 0);
    grid->addWidget(ComboWiring, 0, 1);
    grid->addWidget(ComboCirNum, 0, 2);
    grid->addWidget(labelSampling, 1, 0);
    grid->addWidget(ComboSampling, 1, 1);
    grid->addWidget(ComboFreq, 1, 2);
    grid->addWidget(labelVar, 2, 0);
    grid->addWidget(ComboVarMethod, 2, 1);
    grid->addWidget(labelAverage, 3, 0);
    grid->addWidget(ComboAverage, 3, 1);
    grid->addWidget(labelURange, 4, 0);
    grid->addWidget(ComboURange, 4, 1);
    grid->addWidget(labelVT, 5, 0);
    grid->addWidget(TextVT, 5, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(makeLine(page), 6, 0, 1, 4);

    const QString sensor = QStringLiteral("SENSOR");
    const QString range = QStringLiteral("CURR RANGE");
    const QString ct = QStringLiteral("CT");
    grid->addWidget(makeLabel(page, QStringLiteral("LabelSensor"), sensor), 7, 1);
    grid->addWidget(makeLabel(page, QStringLiteral("LabelCurrRange"), range), 7, 2);
    grid->addWidget(makeLabel(page, QStringLiteral("LabelCT"), ct), 7, 3);
    const QStringList& sensors = texts(List::Sens);
    const QStringList& ranges = texts(List::IRange);
    for (int k = 0; k < 4; ++k) {
        const QString circuit = QStringLiteral("CIRCUIT%1").arg(k + 1);
        auto* label = makeLabel(page, QStringLiteral("LabelCircuit%1").arg(k),
                                QStringLiteral("CIRCUIT&%1").arg(k + 1));
        ComboSens[k] = makeCombo(page, QStringLiteral("ComboSens%1").arg(k), sensors);
        ComboSens[k]->setAccessibleName(circuit + QLatin1Char(' ') + sensor);
        label->setBuddy(ComboSens[k]);
        ComboIRange[k] = makeCombo(page, QStringLiteral("ComboIRange%1").arg(k), ranges);
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
    ComboStartMeth = makeCombo(page, QStringLiteral("ComboStartMeth"), texts(List::StartMeth));
    labelStart->setBuddy(ComboStartMeth);
    TextStartY = makeText(page, QStringLiteral("TextStartY"), 4);
    TextStartM = makeText(page, QStringLiteral("TextStartM"), 2);
    TextStartD = makeText(page, QStringLiteral("TextStartD"), 2);
    TextStartHH = makeText(page, QStringLiteral("TextStartHH"), 2);
    TextStartMM = makeText(page, QStringLiteral("TextStartMM"), 2);
    TextStartY->setAccessibleName(start + QStringLiteral(" year"));
    TextStartM->setAccessibleName(start + QStringLiteral(" month"));
    TextStartD->setAccessibleName(start + QStringLiteral(" day"));
    TextStartHH->setAccessibleName(start + QStringLiteral(" hour"));
    TextStartMM->setAccessibleName(start + QStringLiteral(" minute"));

    auto* labelStop = makeLabel(page, QStringLiteral("LabelStop"), QStringLiteral("MEAS.STO&P"));
    ComboStopMeth = makeCombo(page, QStringLiteral("ComboStopMeth"), texts(List::StopMeth));
    labelStop->setBuddy(ComboStopMeth);
    TextStopY = makeText(page, QStringLiteral("TextStopY"), 4);
    TextStopM = makeText(page, QStringLiteral("TextStopM"), 2);
    TextStopD = makeText(page, QStringLiteral("TextStopD"), 2);
    TextStopHH = makeText(page, QStringLiteral("TextStopHH"), 2);
    TextStopMM = makeText(page, QStringLiteral("TextStopMM"), 2);
    m_stopSep1 = makeLabel(page, QStringLiteral("Label15"), QStringLiteral("/"));
    m_stopSep2 = makeLabel(page, QStringLiteral("Label16"), QStringLiteral("/"));
    m_stopTimeSep = makeLabel(page, QStringLiteral("Label17"), QStringLiteral(":"));

    // Date and time fields in one row each: year / month / day  hour : minute.
    auto dateRow = [page](std::initializer_list<QWidget*> fields, QLabel* s1, QLabel* s2,
                          QLabel* s3) {
        auto* row = new QHBoxLayout;
        auto it = fields.begin();
        row->addWidget(*it++);
        row->addWidget(s1);
        row->addWidget(*it++);
        row->addWidget(s2);
        row->addWidget(*it++);
        row->addSpacing(page->fontMetrics().horizontalAdvance(QStringLiteral("00")));
        row->addWidget(*it++);
        row->addWidget(s3);
        row->addWidget(*it++);
        row->addStretch(1);
        return row;
    };
    auto sep = [page](const QString& text) { return makeLabel(page, QString(), text); };
    grid->addWidget(labelStart, 0, 0);
    grid->addWidget(ComboStartMeth, 0, 1);
    grid->addLayout(dateRow({TextStartY, TextStartM, TextStartD, TextStartHH, TextStartMM},
                            sep(QStringLiteral("/")), sep(QStringLiteral("/")),
                            sep(QStringLiteral(":"))),
                    0, 2);
    grid->addWidget(labelStop, 1, 0);
    grid->addWidget(ComboStopMeth, 1, 1);
    grid->addLayout(dateRow({TextStopY, TextStopM, TextStopD, TextStopHH, TextStopMM}, m_stopSep1,
                            m_stopSep2, m_stopTimeSep),
                    1, 2);
    grid->addWidget(makeLine(page), 2, 0, 1, 3);

    auto* labelIntvl =
        makeLabel(page, QStringLiteral("LabelIntvl"), QStringLiteral("INTERVAL &TIME"));
    ComboIntvl = makeCombo(page, QStringLiteral("ComboIntvl"), texts(List::Intvl));
    labelIntvl->setBuddy(ComboIntvl);

    const QStringList& media = texts(List::Media);
    auto* labelMedia = makeLabel(page, QStringLiteral("LabelMedia"), QStringLiteral("SAVE I&N..."));
    ComboMedia = makeCombo(page, QStringLiteral("ComboMedia"), media);
    labelMedia->setBuddy(ComboMedia);

    auto* labelFName =
        makeLabel(page, QStringLiteral("LabelDataFName"), QStringLiteral("&FILE NAME"));
    TextDataFName = makeText(page, QStringLiteral("TextDataFName"), 0);
    TextDataFName->setMinimumWidth(
        TextDataFName->fontMetrics().horizontalAdvance(QStringLiteral("XXXXXXXXXXXXXXXX")) + 16);
    labelFName->setBuddy(TextDataFName);

    auto* labelRS =
        makeLabel(page, QStringLiteral("LabelRSConnection"), QStringLiteral("RS CONNECTION"));
    ComboRSConnection =
        makeCombo(page, QStringLiteral("ComboRSConnection"), texts(List::RSConnection));
    labelRS->setBuddy(ComboRSConnection);
    ComboRSConnection->setEnabled(false);

    auto* labelCopy =
        makeLabel(page, QStringLiteral("LabelCopyDst"), QStringLiteral("&DISPLAY COPY"));
    ComboCopyDst = makeCombo(page, QStringLiteral("ComboCopyDst"), media);
    labelCopy->setBuddy(ComboCopyDst);

    grid->addWidget(labelIntvl, 3, 0);
    grid->addWidget(ComboIntvl, 3, 1);
    grid->addWidget(labelMedia, 4, 0);
    grid->addWidget(ComboMedia, 4, 1);
    grid->addWidget(labelFName, 5, 0);
    grid->addWidget(TextDataFName, 5, 1, 1, 2, Qt::AlignLeft);
    grid->addWidget(labelRS, 6, 0);
    grid->addWidget(ComboRSConnection, 6, 1);
    grid->addWidget(labelCopy, 7, 0);
    grid->addWidget(ComboCopyDst, 7, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(8, 1);
    return page;
}

QWidget* DlgSettings::buildSaveItemsTab()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSaveItems"));
    CheckNorm = makeCheck(page, QStringLiteral("CheckNorm"), QStringLiteral("&NORM"));
    CheckHarm = makeCheck(page, QStringLiteral("CheckHarm"), QStringLiteral("H&ARM."));
    CheckInst = makeCheck(page, QStringLiteral("CheckInst"), QStringLiteral("INS&T."));
    CheckAve = makeCheck(page, QStringLiteral("CheckAve"), QStringLiteral("A&VE."));
    CheckMax = makeCheck(page, QStringLiteral("CheckMax"), QStringLiteral("MA&X."));
    CheckMin = makeCheck(page, QStringLiteral("CheckMin"), QStringLiteral("MIN."));
    // "&&" is a literal ampersand in a caption.
    CheckInteg = makeCheck(page, QStringLiteral("CheckInteg"), QStringLiteral("INTEG. && &DEM"));

    auto* grid = new QGridLayout(page);
    grid->addWidget(CheckNorm, 0, 0);
    grid->addWidget(CheckHarm, 0, 1);
    grid->addWidget(makeLine(page), 1, 0, 1, 5);
    grid->addWidget(CheckInst, 2, 0);
    grid->addWidget(CheckAve, 2, 1);
    grid->addWidget(CheckMax, 2, 2);
    grid->addWidget(CheckMin, 2, 3);
    grid->addWidget(makeLine(page), 3, 0, 1, 5);
    grid->addWidget(CheckInteg, 4, 0, 1, 2);
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
        CheckCircuit[k] = makeCheck(page, QStringLiteral("CheckCircuit%1").arg(k),
                                    QStringLiteral("&%1").arg(k + 1));
        circuits->addWidget(CheckCircuit[k]);
    }
    circuits->addStretch(1);
    grid->addLayout(circuits, 1, 1);

    grid->addWidget(makeLabel(page, QStringLiteral("LabelCH"), QStringLiteral("CH")), 2, 0);
    auto* channels = new QHBoxLayout;
    for (int k = 0; k < 3; ++k) {
        CheckU[k] = makeCheck(page, QStringLiteral("CheckU%1").arg(k),
                              k == 0 ? QStringLiteral("&U1") : QStringLiteral("U%1").arg(k + 1));
        channels->addWidget(CheckU[k]);
    }
    for (int k = 0; k < 4; ++k) {
        CheckI[k] =
            makeCheck(page, QStringLiteral("CheckI%1").arg(k), QStringLiteral("I%1").arg(k + 1));
        channels->addWidget(CheckI[k]);
    }
    CheckP = makeCheck(page, QStringLiteral("CheckP"), QStringLiteral("&P1"));
    channels->addWidget(CheckP);
    channels->addStretch(1);
    grid->addLayout(channels, 2, 1);

    grid->addWidget(makeLabel(page, QStringLiteral("LabelType"), QStringLiteral("TYPE")), 3, 0);
    CheckLevel = makeCheck(page, QStringLiteral("CheckLevel"), QStringLiteral("&LEVEL"));
    CheckPercent = makeCheck(page, QStringLiteral("CheckPercent"), QStringLiteral("%of&FND"));
    CheckPhase = makeCheck(page, QStringLiteral("CheckPhase"), QStringLiteral("PH&ASE"));
    CheckTHD = makeCheck(page, QStringLiteral("CheckTHD"), QStringLiteral("&THD"));
    CheckTotal = makeCheck(page, QStringLiteral("CheckTotal"), QStringLiteral("TOTAL"));
    CheckWave = makeCheck(page, QStringLiteral("CheckWave"), QStringLiteral("&WAVE"));
    auto* types = new QHBoxLayout;
    for (QCheckBox* b : {CheckLevel, CheckPercent, CheckPhase, CheckTHD, CheckTotal, CheckWave})
        types->addWidget(b);
    types->addStretch(1);
    grid->addLayout(types, 3, 1);
    grid->addWidget(makeLine(page), 4, 0, 1, 2);

    auto* labelOrd = makeLabel(page, QStringLiteral("LabelOrder"), QStringLiteral("OR&DER"));
    ComboOrd = makeCombo(page, QStringLiteral("ComboOrd"), texts(List::OrdType));
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
    ComboTHD = makeCombo(page, QStringLiteral("ComboTHD"), texts(List::THDType));
    labelTHD->setBuddy(ComboTHD);

    auto* labelRS = makeLabel(page, QStringLiteral("LabelRS232C"), QStringLiteral("RS-232C"));
    auto* labelBaud = makeLabel(page, QStringLiteral("LabelBaud"), QStringLiteral("BAUDRATE"));
    ComboBaud = makeCombo(page, QStringLiteral("ComboBaud"), texts(List::Baud));
    labelBaud->setBuddy(ComboBaud);
    // "TERMINATEOR": misspelt on purpose, kept as users know it.
    auto* labelTerm = makeLabel(page, QStringLiteral("LabelTerm"), QStringLiteral("TERMINATEOR"));
    ComboTerm = makeCombo(page, QStringLiteral("ComboTerm"), texts(List::Term));
    labelTerm->setBuddy(ComboTerm);
    auto* labelFlow = makeLabel(page, QStringLiteral("LabelFlow"), QStringLiteral("FLOW CONTROL"));
    ComboFlow = makeCombo(page, QStringLiteral("ComboFlow"), texts(List::Flow));
    labelFlow->setBuddy(ComboFlow);
    // The instrument's own line settings are shown, never changed from here.
    for (QComboBox* c : {ComboBaud, ComboTerm, ComboFlow})
        c->setEnabled(false);

    auto* labelBL = makeLabel(page, QStringLiteral("LabelBL"), QStringLiteral("&BACKLIGHT"));
    ComboBL = makeCombo(page, QStringLiteral("ComboBL"), texts(List::BL));
    labelBL->setBuddy(ComboBL);
    auto* labelBeep = makeLabel(page, QStringLiteral("LabelBeep"), QStringLiteral("BEEP SOU&ND"));
    ComboBeep = makeCombo(page, QStringLiteral("ComboBeep"), texts(List::Beep));
    labelBeep->setBuddy(ComboBeep);
    auto* labelID = makeLabel(page, QStringLiteral("LabelID"), QStringLiteral("I&D"));
    TextID = makeText(page, QStringLiteral("TextID"), 11);
    labelID->setBuddy(TextID);
    auto* labelLang = makeLabel(page, QStringLiteral("LabelLang"), QStringLiteral("&LANGUAGE"));
    ComboLang = makeCombo(page, QStringLiteral("ComboLang"), texts(List::Lang));
    labelLang->setBuddy(ComboLang);
    CheckAdjust = makeCheck(page, QStringLiteral("CheckAdjust"),
                            QStringLiteral("Set the Kestrel's clock to &PC's clock"));

    grid->addWidget(labelTHD, 0, 0);
    grid->addWidget(ComboTHD, 0, 1);
    grid->addWidget(makeLine(page), 1, 0, 1, 3);
    grid->addWidget(labelRS, 2, 0);
    grid->addWidget(labelBaud, 3, 0);
    grid->addWidget(ComboBaud, 3, 1);
    grid->addWidget(labelTerm, 4, 0);
    grid->addWidget(ComboTerm, 4, 1);
    grid->addWidget(labelFlow, 5, 0);
    grid->addWidget(ComboFlow, 5, 1);
    grid->addWidget(makeLine(page), 6, 0, 1, 3);
    grid->addWidget(labelBL, 7, 0);
    grid->addWidget(ComboBL, 7, 1);
    grid->addWidget(labelBeep, 8, 0);
    grid->addWidget(ComboBeep, 8, 1);
    grid->addWidget(labelID, 9, 0);
    grid->addWidget(TextID, 9, 1);
    grid->addWidget(labelLang, 10, 0);
    grid->addWidget(ComboLang, 10, 1);
    grid->addWidget(makeLine(page), 11, 0, 1, 3);
    grid->addWidget(CheckAdjust, 12, 0, 1, 3);
    // The RS-232C rows are indented under their heading.
    for (QLabel* l : {labelBaud, labelTerm, labelFlow})
        l->setIndent(l->fontMetrics().horizontalAdvance(QStringLiteral("MM")));
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(13, 1);
    return page;
}

void DlgSettings::connectHandlers()
{
    // Lists and check boxes answer the user's choices only (activated, clicked), never the
    // selections DispSettings makes, so showing the record cannot change it.
    auto storePosition = [this](QComboBox* combo, qint32 ModSet::*field) {
        connect(combo, &QComboBox::activated, this,
                [this, field](int position) { m_set.*field = position; });
    };
    auto storePositionThen = [this](QComboBox* combo, qint32 ModSet::*field) {
        connect(combo, &QComboBox::activated, this, [this, field](int position) {
            m_set.*field = position;
            DispSettings();
        });
    };
    connect(ComboWiring, &QComboBox::activated, this, &DlgSettings::ComboWiring_Click);
    connect(ComboCirNum, &QComboBox::activated, this, &DlgSettings::ComboCirNum_Click);
    storePosition(ComboSampling, &ModSet::Sampling);
    storePosition(ComboFreq, &ModSet::Freq);
    storePosition(ComboVarMethod, &ModSet::VarMethod);
    connect(ComboAverage, &QComboBox::activated, this, &DlgSettings::ComboAverage_Click);
    storePosition(ComboURange, &ModSet::URange);
    for (int k = 0; k < 4; ++k) {
        connect(ComboSens[k], &QComboBox::activated, this, [this, k] { ComboSens_Click(k); });
        connect(ComboIRange[k], &QComboBox::activated, this, [this, k] { ComboIRange_Click(k); });
    }
    storePositionThen(ComboStartMeth, &ModSet::StartMeth);
    storePositionThen(ComboStopMeth, &ModSet::StopMeth);
    storePosition(ComboIntvl, &ModSet::Intvl);
    storePosition(ComboMedia, &ModSet::Media);
    storePosition(ComboCopyDst, &ModSet::CopyDst);
    storePositionThen(ComboOrd, &ModSet::OrdType);
    storePosition(ComboTHD, &ModSet::THDType);
    storePosition(ComboBL, &ModSet::BL);
    storePosition(ComboBeep, &ModSet::Beep);
    storePosition(ComboLang, &ModSet::Lang);

    auto storeFlag = [this](QCheckBox* box, bool ModSet::*field) {
        connect(box, &QCheckBox::clicked, this,
                [this, box, field] { m_set.*field = boxFlag(box); });
    };
    storeFlag(CheckNorm, &ModSet::Norm);
    storeFlag(CheckHarm, &ModSet::Harm);
    storeFlag(CheckInst, &ModSet::Inst);
    storeFlag(CheckAve, &ModSet::Ave);
    storeFlag(CheckMax, &ModSet::Max);
    storeFlag(CheckMin, &ModSet::Min);
    storeFlag(CheckInteg, &ModSet::Integ);
    storeFlag(CheckP, &ModSet::P);
    storeFlag(CheckLevel, &ModSet::Level);
    storeFlag(CheckPercent, &ModSet::Percent);
    storeFlag(CheckPhase, &ModSet::Phase);
    storeFlag(CheckTHD, &ModSet::THD);
    storeFlag(CheckTotal, &ModSet::Total);
    storeFlag(CheckWave, &ModSet::Wave);
    auto storeElement = [this](QCheckBox* box, auto ModSet::*array, int element) {
        connect(box, &QCheckBox::clicked, this,
                [this, box, array, element] { (m_set.*array)[element] = boxFlag(box); });
    };
    for (int k = 0; k < 4; ++k) {
        storeElement(CheckCircuit[k], &ModSet::Circuit, k + 1);
        storeElement(CheckI[k], &ModSet::I, k + 1);
    }
    for (int k = 0; k < 3; ++k)
        storeElement(CheckU[k], &ModSet::U, k + 1);
    for (int k = 0; k < 40; ++k)
        storeElement(CheckOrd[k], &ModSet::Ord, k + 1);

    // Entry fields store every change, DispSettings' included. A number out of range for the
    // setting keeps the previous value.
    auto storeReal = [this](QLineEdit* edit, auto setter) {
        connect(edit, &QLineEdit::textChanged, this, [setter](const QString& text) {
            if (const auto value = RealValue(text))
                setter(*value);
        });
    };
    auto storeInteger = [this](QLineEdit* edit, qint32 ModSet::*field) {
        connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& text) {
            if (const auto value = IntegerValue(text))
                m_set.*field = *value;
        });
    };
    storeReal(TextVT, [this](double v) { m_set.VT = v; });
    for (int k = 0; k < 4; ++k)
        storeReal(TextCT[k], [this, k](double v) { m_set.CT[k + 1] = v; });
    storeInteger(TextStartY, &ModSet::StartY);
    storeInteger(TextStartM, &ModSet::StartM);
    storeInteger(TextStartD, &ModSet::StartD);
    storeInteger(TextStartHH, &ModSet::StartHH);
    storeInteger(TextStartMM, &ModSet::StartMM);
    connect(TextStopY, &QLineEdit::textChanged, this, [this] { TextStopDate_Change(0); });
    connect(TextStopM, &QLineEdit::textChanged, this, [this] { TextStopDate_Change(1); });
    connect(TextStopD, &QLineEdit::textChanged, this, [this] { TextStopDate_Change(2); });
    storeInteger(TextStopHH, &ModSet::StopHH);
    storeInteger(TextStopMM, &ModSet::StopMM);
    storeInteger(TextID, &ModSet::ID);
    connect(TextDataFName, &QLineEdit::textChanged, this, &DlgSettings::TextDataFName_Change);

    connect(CommandRecv, &QPushButton::clicked, this, &DlgSettings::onReceiveClicked);
    connect(CommandSend, &QPushButton::clicked, this, &DlgSettings::onSendClicked);
    connect(CommandClose, &QPushButton::clicked, this, &DlgSettings::onCloseClicked);
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

void DlgSettings::ComboAverage_Click()
{
    if (const auto count = SettingChoices::code(List::Average, ComboAverage->currentIndex()))
        m_set.Average = *count;
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
    const QLineEdit* edits[] = {TextStopY, TextStopM, TextStopD};
    const auto value = IntegerValue(edits[field]->text());
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

void DlgSettings::TextDataFName_Change()
{
    const QString trimmed = trimBlanks(TextDataFName->text());
    if (trimmed != TextDataFName->text()) {
        // Raises one more change, which finds nothing to trim and stores the name.
        TextDataFName->setText(trimmed);
        return;
    }
    m_set.DataFName = trimmed;
}

void DlgSettings::DispSettings()
{
    const ModSet& m = m_set;

    // 1. Wiring and circuit count; the circuit rows follow the count.
    selectCode(ComboWiring, m.Wiring);
    selectCode(ComboCirNum, m.CirNum - 1);
    ComboWiring->setEnabled(true);
    ComboCirNum->setEnabled(true);
    const int last = ComboCirNum->currentIndex();
    if (last >= 0)
        for (int k = 0; k < 4; ++k)
            setRowEnabled({ComboSens[k], ComboIRange[k], TextCT[k]}, k <= last);

    // 2. to 5. Measurement lists; a received sensor and range pair is shown as received.
    selectCode(ComboSampling, m.Sampling);
    selectCode(ComboFreq, m.Freq);
    selectCode(ComboVarMethod, m.VarMethod);
    selectCode(ComboAverage, averagePosition(m.Average));
    selectCode(ComboURange, m.URange);
    for (int k = 0; k < 4; ++k) {
        selectCode(ComboIRange[k], m.IRange[k + 1]);
        selectCode(ComboSens[k], m.Sens[k + 1]);
    }

    // 6. Start time: the fields are for a timed start only.
    selectCode(ComboStartMeth, m.StartMeth);
    TextStartY->setText(QString::number(m.StartY));
    TextStartM->setText(QString::number(m.StartM));
    TextStartD->setText(QString::number(m.StartD));
    TextStartHH->setText(QString::number(m.StartHH));
    TextStartMM->setText(QString::number(m.StartMM));
    const int startMeth = ComboStartMeth->currentIndex();
    if (startMeth >= 0)
        setRowEnabled({TextStartY, TextStartM, TextStartD, TextStartHH, TextStartMM},
                      startMeth == 1);

    // 7. Stop time: a date under MANUAL and TIME, the three timer numbers under TIMER.
    selectCode(ComboStopMeth, m.StopMeth);
    const int stopMeth = ComboStopMeth->currentIndex();
    if (stopMeth == 0 || stopMeth == 1) {
        for (QWidget* w : {static_cast<QWidget*>(TextStopHH), static_cast<QWidget*>(TextStopMM),
                           static_cast<QWidget*>(m_stopTimeSep)})
            w->setVisible(true);
        m_stopSep1->setText(QStringLiteral("/"));
        m_stopSep2->setText(QStringLiteral("/"));
        setRowEnabled({TextStopY, TextStopM, TextStopD, TextStopHH, TextStopMM}, stopMeth == 1);
        const QString stop = QStringLiteral("MEAS.STOP");
        TextStopY->setAccessibleName(stop + QStringLiteral(" year"));
        TextStopM->setAccessibleName(stop + QStringLiteral(" month"));
        TextStopD->setAccessibleName(stop + QStringLiteral(" day"));
        TextStopHH->setAccessibleName(stop + QStringLiteral(" hour"));
        TextStopMM->setAccessibleName(stop + QStringLiteral(" minute"));
        TextStopY->setText(QString::number(m.StopY));
        TextStopM->setText(QString::number(m.StopM));
        TextStopD->setText(QString::number(m.StopD));
        TextStopHH->setText(QString::number(m.StopHH));
        TextStopMM->setText(QString::number(m.StopMM));
    } else if (stopMeth == 2) {
        for (QWidget* w : {static_cast<QWidget*>(TextStopHH), static_cast<QWidget*>(TextStopMM),
                           static_cast<QWidget*>(m_stopTimeSep)})
            w->setVisible(false);
        m_stopSep1->setText(QStringLiteral(":"));
        m_stopSep2->setText(QStringLiteral(":"));
        setRowEnabled({TextStopY, TextStopM, TextStopD}, true);
        for (int i = 0; i < 3; ++i)
            (i == 0   ? TextStopY
             : i == 1 ? TextStopM
                      : TextStopD)
                ->setAccessibleName(QStringLiteral("MEAS.STOP TIMER %1").arg(i + 1));
        TextStopY->setText(QString::number(m.Timer1));
        TextStopM->setText(QString::number(m.Timer2));
        TextStopD->setText(QString::number(m.Timer3));
    }

    // 8. Output settings. The RS-232C connection is the instrument's, never edited here.
    selectCode(ComboIntvl, m.Intvl);
    selectCode(ComboMedia, m.Media);
    TextDataFName->setText(m.DataFName);
    selectCode(ComboRSConnection, m.RSConnection);
    ComboRSConnection->setEnabled(false);
    selectCode(ComboCopyDst, m.CopyDst);

    // 9. Save items.
    showFlag(CheckNorm, m.Norm);
    showFlag(CheckHarm, m.Harm);
    showFlag(CheckInteg, m.Integ);
    showFlag(CheckInst, m.Inst);
    showFlag(CheckAve, m.Ave);
    showFlag(CheckMax, m.Max);
    showFlag(CheckMin, m.Min);
    for (int k = 0; k < 4; ++k)
        showFlag(CheckCircuit[k], m.Circuit[k + 1]);
    for (int k = 0; k < 3; ++k)
        showFlag(CheckU[k], m.U[k + 1]);
    for (int k = 0; k < 4; ++k)
        showFlag(CheckI[k], m.I[k + 1]);
    showFlag(CheckP, m.P);
    showFlag(CheckLevel, m.Level);
    showFlag(CheckPercent, m.Percent);
    showFlag(CheckPhase, m.Phase);
    showFlag(CheckTHD, m.THD);
    showFlag(CheckTotal, m.Total);
    showFlag(CheckWave, m.Wave);

    // 10. Orders: the boxes keep their states but are editable only under SELECT.
    selectCode(ComboOrd, m.OrdType);
    for (int k = 0; k < 40; ++k)
        showFlag(CheckOrd[k], m.Ord[k + 1]);
    const bool select = ComboOrd->currentIndex() == 3;
    for (QCheckBox* box : CheckOrd)
        box->setEnabled(select);

    // 11. to 14. System settings, then the ratios.
    selectCode(ComboTHD, m.THDType);
    selectCode(ComboBaud, m.Baud);
    selectCode(ComboFlow, m.Flow);
    selectCode(ComboTerm, m.Term);
    selectCode(ComboBL, m.BL);
    selectCode(ComboBeep, m.Beep);
    TextID->setText(blankLeadingInteger(m.ID));
    selectCode(ComboLang, m.Lang);
    TextVT->setText(PlainForm(m.VT));
    for (int k = 0; k < 4; ++k)
        TextCT[k]->setText(PlainForm(m.CT[k + 1]));
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
