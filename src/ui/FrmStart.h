#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class CommPort;
class Link;
class FrmMeas;
class FrmDload;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The connection window: port, speed, direct or modem, connect and disconnect, and the
// buttons that open the measurement and download windows. It owns the port and the link
// for the whole run; closing it ends the program.
class FrmStart : public QWidget
{
    Q_OBJECT
public:
    // comm is the serial control (the real port, or an in-process one in tests).
    explicit FrmStart(std::unique_ptr<CommPort> comm, QWidget* parent = nullptr);
    ~FrmStart() override;

    Link& link() { return *m_link; }
    CommPort& comm() { return *m_comm; }

    qint32 ConnectDirect();
    qint32 ConnectModem();
    void SetControlsBusy(qint16 busy);

    // The other two windows, while they are loaded (not unloading).
    FrmMeas* measWindow() const;
    FrmDload* dloadWindow() const;

    void CommandConnect_Click();
    void CommandMeasDisp_Click();
    void CommandDloadDisp_Click();

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

    std::unique_ptr<CommPort> m_comm;
    std::unique_ptr<Link> m_link;
    QPointer<FrmMeas> m_meas;
    QPointer<FrmDload> m_dload;
    bool m_closed = false;

    QLabel* Label1 = nullptr;
    QComboBox* ComboPort = nullptr;
    QLabel* LabelDevice = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* ComboBaud = nullptr;
    QLabel* Label2 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* TextModemInit = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* TextTelNo = nullptr;
    QPushButton* CommandConnect = nullptr;
    QPushButton* CommandMeasDisp = nullptr;
    QPushButton* CommandDloadDisp = nullptr;
};
