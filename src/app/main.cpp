#include "FrmStart.h"
#include "MessageService.h"
#include "QtCommPort.h"
#include "QtMessageService.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pqlink"));
    // The start window ends the program itself, after unloading the others.
    QApplication::setQuitOnLastWindowClosed(false);

    QtMessageService messages;
    MessageService::setDefault(&messages);

    FrmStart start(std::make_unique<QtCommPort>());
    QObject::connect(&start, &FrmStart::programEnded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    start.show();
    const int rc = app.exec();
    MessageService::setDefault(nullptr);
    return rc;
}
