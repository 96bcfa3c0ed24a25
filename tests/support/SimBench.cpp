#include "SimBench.h"

#include "FrmDload.h"
#include "FrmMeas.h"
#include "Link.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

SimBench::SimBench(SimConfig config) : instrument(std::move(config))
{
    auto p = std::make_unique<SimPort>(instrument);
    port = p.get();
    session = std::make_unique<InstrumentSession>(std::move(p));
    start = std::make_unique<FrmStart>(*session);
    start->show();
    QObject::connect(&link(), &Link::written,
                     [this](const QByteArray&, int ms) { timeouts << ms; });
}

void SimBench::onLine(const QByteArray& word, int n, std::function<void()> f)
{
    auto count = std::make_shared<int>(0);
    QObject::connect(&link(), &Link::written, [count, word, n, f](const QByteArray& line, int) {
        if (line.contains(word) && ++*count == n)
            TestUtil::later(0, f);
    });
}

SimConfig SimBench::withFault(const QString& fault, SimConfig config)
{
    QString error;
    if (!fault.isEmpty() && !config.parse({QStringLiteral("--fault"), fault}, &error))
        qFatal("%s", qPrintable(error));
    return config;
}

SimBench::~SimBench()
{
    // Let windows unloaded by the test finish their deferred deletion first.
    start->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    start.reset();
    session.reset();
}

bool SimBench::settle(int ms)
{
    return TestUtil::waitFor([this] { return session->idle(); }, ms);
}

bool SimBench::connectDirect()
{
    startChild<QRadioButton>("Option1")->setChecked(true);
    QTest::mouseClick(startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
    settle();
    return session->connected();
}

bool SimBench::connectModem(const QString& number, const QString& init)
{
    startChild<QRadioButton>("Option2")->setChecked(true);
    startChild<QLineEdit>("TextModemInit")->setText(init);
    startChild<QLineEdit>("TextTelNo")->setText(number);
    QTest::mouseClick(startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
    settle();
    return session->connected();
}

FrmMeas* SimBench::openMeas()
{
    QTest::mouseClick(startChild<QPushButton>("CommandMeasDisp"), Qt::LeftButton);
    settle();
    return start->measWindow();
}

FrmDload* SimBench::openDload()
{
    QTest::mouseClick(startChild<QPushButton>("CommandDloadDisp"), Qt::LeftButton);
    settle();
    return start->dloadWindow();
}
