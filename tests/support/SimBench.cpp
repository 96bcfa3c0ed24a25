#include "SimBench.h"

#include "FrmDload.h"
#include "FrmMeas.h"
#include "Link.h"

#include <QPushButton>
#include <QRadioButton>

SimBench::SimBench(SimConfig config) : instrument(std::move(config))
{
    auto p = std::make_unique<SimPort>(instrument);
    port = p.get();
    start = std::make_unique<FrmStart>(std::move(p));
    start->show();
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
}

bool SimBench::connectDirect()
{
    startChild<QRadioButton>("Option1")->setChecked(true);
    QTest::mouseClick(startChild<QPushButton>("CommandConnect"), Qt::LeftButton);
    return link().ConnectStat() == -1;
}

FrmMeas* SimBench::openMeas()
{
    QTest::mouseClick(startChild<QPushButton>("CommandMeasDisp"), Qt::LeftButton);
    return start->measWindow();
}

FrmDload* SimBench::openDload()
{
    QTest::mouseClick(startChild<QPushButton>("CommandDloadDisp"), Qt::LeftButton);
    return start->dloadWindow();
}
