#pragma once

#include <QDialog>
#include <QPointer>

#include <array>
#include <vector>

class InstrumentSession;
class Job;
struct ModSet;
namespace SettingsTable {
struct Member;
}
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

    // The controls that exist once per circuit or order (index from 0).
    QComboBox* comboSens(int k) const { return ComboSens.at(k); }
    QComboBox* comboIRange(int k) const { return ComboIRange.at(k); }
    QLineEdit* textCT(int k) const { return TextCT.at(k); }
    QCheckBox* checkOrd(int k) const { return CheckOrd.at(k); }

    // True while SEND or RECEIVE talks to the instrument, or SEND asks first.
    bool exchanging() const;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A control and the member (element) of the settings table it shows and edits.
    struct Bound
    {
        QWidget* control;
        const SettingsTable::Member* member;
        int element;
    };

    void buildUi();
    QWidget* buildMeasureTab();
    QWidget* buildOutputTab();
    QWidget* buildSaveItemsTab();
    QWidget* buildHarmonicTab();
    QWidget* buildSystemTab();
    void bindControls();
    void connectHandlers();
    void display(const Bound& b);
    void storeText(QLineEdit* edit, const SettingsTable::Member& member, int element);

    // Interlocks: the rules of the wiring and count lists and of each circuit's lists.
    void ComboWiring_Click();
    void ComboCirNum_Click();
    void ComboSens_Click(int k);
    void ComboIRange_Click(int k);
    void applySensorRule(int k);

    // The stop fields hold the stop date or the timer, by the stop method.
    void TextStopDate_Change(int field);

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
    std::vector<Bound> m_bound;

    QTabWidget* m_tabs = nullptr;

    // The controls the interlocks and layouts reach; the others are found from the table.
    QComboBox* ComboWiring = nullptr;
    QComboBox* ComboCirNum = nullptr;
    std::array<QComboBox*, 4> ComboSens{};
    std::array<QComboBox*, 4> ComboIRange{};
    std::array<QLineEdit*, 4> TextCT{};
    QComboBox* ComboStartMeth = nullptr;
    std::array<QLineEdit*, 5> m_start{}; // year, month, day, hour, minute
    QComboBox* ComboStopMeth = nullptr;
    std::array<QLineEdit*, 5> m_stop{};
    // Between the stop fields: "/" in a date, ":" between the timer's numbers.
    QLabel* m_stopSep1 = nullptr;
    QLabel* m_stopSep2 = nullptr;
    QLabel* m_stopTimeSep = nullptr;
    QLineEdit* TextDataFName = nullptr;
    QComboBox* ComboOrd = nullptr;
    std::array<QCheckBox*, 40> CheckOrd{};
    QCheckBox* CheckAdjust = nullptr;

    QPushButton* CommandRecv = nullptr;
    QPushButton* CommandSend = nullptr;
    QPushButton* CommandClose = nullptr;
};
