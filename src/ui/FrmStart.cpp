#include "FrmStart.h"

#include "FrmDload.h"
#include "FrmMeas.h"
#include "InstrumentSession.h"
#include "MessageService.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace {
const char* const kSettings[] = {"9600,n,8,1", "19200,n,8,1", "38400,n,8,1"};
}

FrmStart::FrmStart(InstrumentSession& session, QWidget* parent)
    : QWidget(parent), m_session(session)
{
    setObjectName(QStringLiteral("FrmStart"));
    buildUi();
    connect(&m_session, &InstrumentSession::lineBusy, this, &FrmStart::SetControlsBusy);
    // Queued: the port reports its loss from inside its own notification.
    connect(&m_session.port(), &CommPort::lost, this, &FrmStart::onPortLost, Qt::QueuedConnection);
    // A job's message is a box; the job goes on when the user closes it.
    m_session.setMessageHandler([](Job& job, MessageKind kind, const QString& text) {
        MessageService::instance().open(kind, text, &job,
                                        [j = &job](bool answer) { j->resume(answer); });
    });
    Form_Load();
}

FrmStart::~FrmStart()
{
    m_session.setMessageHandler({});
    // Windows still loaded are destroyed with us; no handler of theirs can be running.
    delete m_meas.data();
    delete m_dload.data();
}

void FrmStart::buildUi()
{
    setWindowTitle(QStringLiteral("CONNECT  (V0.02)"));

    m_portLabel = new QLabel(QStringLiteral("&Comport"), this);
    m_portLabel->setObjectName(QStringLiteral("Label1"));
    ComboPort = new QComboBox(this);
    ComboPort->setObjectName(QStringLiteral("ComboPort"));
    for (int i = 1; i <= 8; ++i)
        ComboPort->addItem(QStringLiteral("COM%1").arg(i));
    ComboPort->setToolTip(QStringLiteral("Kestrelまたはモデムを接続するCOMポートを選択"));
    m_portLabel->setBuddy(ComboPort);
    LabelDevice = new QLabel(this);
    LabelDevice->setObjectName(QStringLiteral("LabelDevice"));
    LabelDevice->setAccessibleName(QStringLiteral("Device"));
    LabelDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_baudLabel = new QLabel(QStringLiteral("&Baudrate"), this);
    m_baudLabel->setObjectName(QStringLiteral("Label3"));
    ComboBaud = new QComboBox(this);
    ComboBaud->setObjectName(QStringLiteral("ComboBaud"));
    ComboBaud->addItems(
        {QStringLiteral(" 9600bps"), QStringLiteral("19200bps"), QStringLiteral("38400bps")});
    m_baudLabel->setBuddy(ComboBaud);

    m_connectionLabel = new QLabel(QStringLiteral("Connection"), this);
    m_connectionLabel->setObjectName(QStringLiteral("Label2"));
    m_directOption = new QRadioButton(QStringLiteral("&Direct"), this);
    m_directOption->setObjectName(QStringLiteral("Option1"));
    m_modemOption = new QRadioButton(QStringLiteral("&Modem"), this);
    m_modemOption->setObjectName(QStringLiteral("Option2"));
    m_directOption->setChecked(true);

    m_initLabel = new QLabel(QStringLiteral("&Initialization"), this);
    m_initLabel->setObjectName(QStringLiteral("Label4"));
    TextModemInit = new QLineEdit(QStringLiteral("AT"), this);
    TextModemInit->setObjectName(QStringLiteral("TextModemInit"));
    m_initLabel->setBuddy(TextModemInit);

    m_phoneLabel = new QLabel(QStringLiteral("&Phone number"), this);
    m_phoneLabel->setObjectName(QStringLiteral("Label5"));
    TextTelNo = new QLineEdit(this);
    TextTelNo->setObjectName(QStringLiteral("TextTelNo"));
    m_phoneLabel->setBuddy(TextTelNo);

    CommandConnect = new QPushButton(QStringLiteral("C&onnect"), this);
    CommandConnect->setObjectName(QStringLiteral("CommandConnect"));
    CommandConnect->setDefault(true);
    CommandMeasDisp = new QPushButton(QStringLiteral("Me&asure"), this);
    CommandMeasDisp->setObjectName(QStringLiteral("CommandMeasDisp"));
    CommandDloadDisp = new QPushButton(QStringLiteral("Do&wnload"), this);
    CommandDloadDisp->setObjectName(QStringLiteral("CommandDloadDisp"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_portLabel, 0, 0);
    grid->addWidget(ComboPort, 0, 1);
    grid->addWidget(LabelDevice, 0, 2, 1, 2);
    grid->addWidget(m_baudLabel, 1, 0);
    grid->addWidget(ComboBaud, 1, 1);
    grid->addWidget(m_connectionLabel, 2, 0);
    grid->addWidget(m_directOption, 2, 1);
    grid->addWidget(m_modemOption, 2, 2);
    grid->addWidget(m_initLabel, 3, 0);
    grid->addWidget(TextModemInit, 3, 1, 1, 3);
    grid->addWidget(m_phoneLabel, 4, 0);
    grid->addWidget(TextTelNo, 4, 1, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CommandConnect);
    buttons->addWidget(CommandMeasDisp);
    buttons->addWidget(CommandDloadDisp);
    grid->addLayout(buttons, 5, 0, 1, 4);
    grid->setColumnStretch(3, 1);

    // A list announces its current item as its name; give it its label's caption instead.
    for (QLabel* label : {m_portLabel, m_baudLabel, m_initLabel, m_phoneLabel})
        label->buddy()->setAccessibleName(label->text().remove(QLatin1Char('&')));

    setTabOrder(ComboPort, ComboBaud);
    setTabOrder(ComboBaud, m_directOption);
    setTabOrder(m_directOption, m_modemOption);
    setTabOrder(m_modemOption, TextModemInit);
    setTabOrder(TextModemInit, TextTelNo);
    setTabOrder(TextTelNo, CommandConnect);
    setTabOrder(CommandConnect, CommandMeasDisp);
    setTabOrder(CommandMeasDisp, CommandDloadDisp);

    connect(ComboPort, &QComboBox::currentIndexChanged, this, &FrmStart::updateDevice);
    connect(CommandConnect, &QPushButton::clicked, this, &FrmStart::onConnectClicked);
    connect(CommandMeasDisp, &QPushButton::clicked, this, &FrmStart::onMeasureClicked);
    connect(CommandDloadDisp, &QPushButton::clicked, this, &FrmStart::onDownloadClicked);
}

void FrmStart::Form_Load()
{
    ComboPort->setCurrentIndex(0);
    ComboBaud->setCurrentIndex(0);
    m_session.disconnectInstrument();
    CommandMeasDisp->setEnabled(false);
    CommandDloadDisp->setEnabled(false);
    updateDevice();
}

void FrmStart::updateDevice()
{
    const QString device = m_session.port().deviceName(ComboPort->currentIndex() + 1);
    LabelDevice->setText(device.isEmpty() ? QStringLiteral("(no device)") : device);
}

void FrmStart::SetControlsBusy(bool busy)
{
    const bool enable = !busy;
    m_directOption->setEnabled(enable);
    m_modemOption->setEnabled(enable);
    CommandConnect->setEnabled(enable);
    // A job that ends after the port was lost must not offer the windows again.
    CommandMeasDisp->setEnabled(enable && m_session.port().isOpen());
    CommandDloadDisp->setEnabled(enable && m_session.port().isOpen());
}

void FrmStart::onConnectClicked()
{
    if (!m_session.connected())
        connectLink();
    else
        disconnectLink();
}

void FrmStart::connectLink()
{
    CommandConnect->setEnabled(false);
    ConnectRequest request;
    request.port = ComboPort->currentIndex() + 1;
    request.settings = QString::fromLatin1(kSettings[std::clamp(ComboBaud->currentIndex(), 0, 2)]);
    request.modem = !m_directOption->isChecked();
    request.init = TextModemInit->text().toLatin1();
    request.number = TextTelNo->text().toLatin1();
    updateDevice();
    m_session.connectInstrument(this, request, [this](const ConnectOutcome& out) {
        if (out.status == ConnectOutcome::Status::OpenFailed) {
            MessageService::critical(out.error);
            CommandConnect->setEnabled(true);
            return;
        }
        if (out.connected())
            CommandConnect->setText(QStringLiteral("Disc&onnect"));
        CommandMeasDisp->setEnabled(out.connected());
        CommandDloadDisp->setEnabled(out.connected());
        CommandConnect->setEnabled(true);
    });
}

void FrmStart::disconnectLink()
{
    CommandConnect->setEnabled(false);
    // No hang-up command: closing the port drops DTR, which makes a modem hang up.
    unloadOthers();
    m_session.disconnectInstrument();
    CommandConnect->setText(QStringLiteral("C&onnect"));
    CommandMeasDisp->setEnabled(false);
    CommandDloadDisp->setEnabled(false);
    CommandConnect->setEnabled(true);
}

void FrmStart::onPortLost(const QString& reason)
{
    if (!m_session.connected())
        return;
    const int port = m_session.port().commPort();
    const QString device = m_session.port().deviceName(port);
    disconnectLink();
    MessageService::critical(
        QStringLiteral("The connection on COM%1 (%2) was lost: %3.").arg(port).arg(device, reason));
}

void FrmStart::unloadOthers()
{
    if (m_meas)
        m_meas->unload();
    if (m_dload)
        m_dload->unload();
}

FrmMeas* FrmStart::measWindow() const
{
    return (m_meas && !m_meas->unloaded()) ? m_meas.data() : nullptr;
}

FrmDload* FrmStart::dloadWindow() const
{
    return (m_dload && !m_dload->unloaded()) ? m_dload.data() : nullptr;
}

void FrmStart::onMeasureClicked()
{
    if (m_dload)
        m_dload->unload();
    if (FrmMeas* meas = measWindow()) {
        meas->show();
        meas->raise();
        meas->activateWindow();
        return;
    }
    m_meas = new FrmMeas(m_session);
    m_meas->open();
}

void FrmStart::onDownloadClicked()
{
    if (m_meas)
        m_meas->unload();
    if (FrmDload* dload = dloadWindow()) {
        dload->show();
        dload->raise();
        dload->activateWindow();
        return;
    }
    m_dload = new FrmDload(m_session);
    m_dload->open();
}

void FrmStart::closeEvent(QCloseEvent* event)
{
    event->accept();
    unloadOthers();
    // Nothing is sent on the way out; a waiting transaction ends now instead of at its time-out.
    m_session.shutdown();
    emit programEnded();
}
