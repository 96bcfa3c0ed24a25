#pragma once

#include <QDialog>
#include <QPointer>

#include <array>

class InstrumentSession;
class Job;
struct ModSet;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;

// The settings dialog, shown modally from the measurement window. Every control writes the
// session's settings record the moment the user changes it; RECEIVE reads the instrument into
// the record and shows it, SEND writes the record to the instrument.
class DlgSettings : public QDialog
{
    Q_OBJECT
public:
    explicit DlgSettings(InstrumentSession& session, QWidget* parent = nullptr);

    // Forced unload (the measurement window goes, or the dialog was closed): cancels SEND or
    // RECEIVE, hides now and destroys the dialog from the event loop.
    void unload();

    // Shows the whole of ModSet in the controls, without running the list and check-box
    // handlers (the entry fields do store what they are given).
    void DispSettings();

    // The controls that exist once per circuit, voltage, current or order (index from 0).
    QComboBox* comboSens(int k) const { return ComboSens.at(k); }
    QComboBox* comboIRange(int k) const { return ComboIRange.at(k); }
    QLineEdit* textCT(int k) const { return TextCT.at(k); }
    QCheckBox* checkCircuit(int k) const { return CheckCircuit.at(k); }
    QCheckBox* checkU(int k) const { return CheckU.at(k); }
    QCheckBox* checkI(int k) const { return CheckI.at(k); }
    QCheckBox* checkOrd(int k) const { return CheckOrd.at(k); }

    // True while SEND or RECEIVE talks to the instrument, or SEND asks first.
    bool exchanging() const;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    QWidget* buildMeasureTab();
    QWidget* buildOutputTab();
    QWidget* buildSaveItemsTab();
    QWidget* buildHarmonicTab();
    QWidget* buildSystemTab();
    void connectHandlers();

    // Interlocks: what the lists store beyond their position.
    void ComboWiring_Click();
    void ComboCirNum_Click();
    void ComboAverage_Click();
    void ComboSens_Click(int k);
    void ComboIRange_Click(int k);
    void applySensorRule(int k);

    // Entry fields.
    void TextStopDate_Change(int field);
    void TextDataFName_Change();

    void onReceiveClicked();
    void onSendClicked();
    void send();
    void onCloseClicked();
    void setCommandsEnabled(bool enabled);
    int checkAdjustValue() const;

    InstrumentSession& m_session;
    ModSet& m_set;
    QPointer<Job> m_exchange; // RECEIVE or SEND on its way
    bool m_asking = false;    // SEND's question is open

    QTabWidget* m_tabs = nullptr;

    // Measure
    QComboBox* ComboWiring = nullptr;
    QComboBox* ComboCirNum = nullptr;
    QComboBox* ComboSampling = nullptr;
    QComboBox* ComboFreq = nullptr;
    QComboBox* ComboVarMethod = nullptr;
    QComboBox* ComboAverage = nullptr;
    QComboBox* ComboURange = nullptr;
    QLineEdit* TextVT = nullptr;
    std::array<QComboBox*, 4> ComboSens{};
    std::array<QComboBox*, 4> ComboIRange{};
    std::array<QLineEdit*, 4> TextCT{};

    // Output
    QComboBox* ComboStartMeth = nullptr;
    QLineEdit* TextStartY = nullptr;
    QLineEdit* TextStartM = nullptr;
    QLineEdit* TextStartD = nullptr;
    QLineEdit* TextStartHH = nullptr;
    QLineEdit* TextStartMM = nullptr;
    QComboBox* ComboStopMeth = nullptr;
    QLineEdit* TextStopY = nullptr;
    QLineEdit* TextStopM = nullptr;
    QLineEdit* TextStopD = nullptr;
    QLineEdit* TextStopHH = nullptr;
    QLineEdit* TextStopMM = nullptr;
    // Between the stop fields: "/" in a date, ":" between the timer's numbers.
    QLabel* m_stopSep1 = nullptr;
    QLabel* m_stopSep2 = nullptr;
    QLabel* m_stopTimeSep = nullptr;
    QComboBox* ComboIntvl = nullptr;
    QComboBox* ComboMedia = nullptr;
    QLineEdit* TextDataFName = nullptr;
    QComboBox* ComboRSConnection = nullptr;
    QComboBox* ComboCopyDst = nullptr;

    // Save items
    QCheckBox* CheckNorm = nullptr;
    QCheckBox* CheckHarm = nullptr;
    QCheckBox* CheckInst = nullptr;
    QCheckBox* CheckAve = nullptr;
    QCheckBox* CheckMax = nullptr;
    QCheckBox* CheckMin = nullptr;
    QCheckBox* CheckInteg = nullptr;

    // Harmonic
    std::array<QCheckBox*, 4> CheckCircuit{};
    std::array<QCheckBox*, 3> CheckU{};
    std::array<QCheckBox*, 4> CheckI{};
    QCheckBox* CheckP = nullptr;
    QCheckBox* CheckLevel = nullptr;
    QCheckBox* CheckPercent = nullptr;
    QCheckBox* CheckPhase = nullptr;
    QCheckBox* CheckTHD = nullptr;
    QCheckBox* CheckTotal = nullptr;
    QCheckBox* CheckWave = nullptr;
    QComboBox* ComboOrd = nullptr;
    std::array<QCheckBox*, 40> CheckOrd{};

    // System
    QComboBox* ComboTHD = nullptr;
    QComboBox* ComboBaud = nullptr;
    QComboBox* ComboTerm = nullptr;
    QComboBox* ComboFlow = nullptr;
    QComboBox* ComboBL = nullptr;
    QComboBox* ComboBeep = nullptr;
    QLineEdit* TextID = nullptr;
    QComboBox* ComboLang = nullptr;
    QCheckBox* CheckAdjust = nullptr;

    QPushButton* CommandRecv = nullptr;
    QPushButton* CommandSend = nullptr;
    QPushButton* CommandClose = nullptr;
};
