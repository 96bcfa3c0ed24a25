#pragma once

#include <QPointer>
#include <QWidget>

class InstrumentSession;
class FrmMeas;
class FrmDload;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The connection window: port, speed, direct or modem, connect and disconnect, and the
// buttons that open the measurement and download windows. Closing it ends the program.
class FrmStart : public QWidget
{
    Q_OBJECT
public:
    // session: the instrument session of the whole run (over the real port, or an
    // in-process one in tests). Its jobs' messages are shown as message boxes from now on.
    explicit FrmStart(InstrumentSession& session, QWidget* parent = nullptr);
    ~FrmStart() override;

    InstrumentSession& session() { return m_session; }

    void SetControlsBusy(bool busy);

    // The other two windows, while they are loaded (not unloaded).
    FrmMeas* measWindow() const;
    FrmDload* dloadWindow() const;

    void onConnectClicked();
    void onMeasureClicked();
    void onDownloadClicked();

signals:
    // The start window was closed: the program should end.
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    void Form_Load();
    void connectLink();
    void disconnectLink();
    void unloadOthers();
    void updateDevice();
    void onPortLost(const QString& reason);

    InstrumentSession& m_session;
    QPointer<FrmMeas> m_meas;
    QPointer<FrmDload> m_dload;

    QLabel* m_portLabel = nullptr;
    QComboBox* ComboPort = nullptr;
    QLabel* LabelDevice = nullptr;
    QLabel* m_baudLabel = nullptr;
    QComboBox* ComboBaud = nullptr;
    QLabel* m_connectionLabel = nullptr;
    QRadioButton* m_directOption = nullptr;
    QRadioButton* m_modemOption = nullptr;
    QLabel* m_initLabel = nullptr;
    QLineEdit* TextModemInit = nullptr;
    QLabel* m_phoneLabel = nullptr;
    QLineEdit* TextTelNo = nullptr;
    QPushButton* CommandConnect = nullptr;
    QPushButton* CommandMeasDisp = nullptr;
    QPushButton* CommandDloadDisp = nullptr;
};
