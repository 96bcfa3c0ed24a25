#include "QtMessageService.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

void QtMessageService::open(Kind kind, const QString& text, QObject* context, Then then)
{
    auto* box = new QMessageBox(QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowTitle(title());
    box->setText(text);
    switch (kind) {
    case Kind::Plain:
        box->setIcon(QMessageBox::NoIcon);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case Kind::Warning:
        box->setIcon(QMessageBox::Warning);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case Kind::Critical:
        box->setIcon(QMessageBox::Critical);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case Kind::Question:
        box->setIcon(QMessageBox::NoIcon);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::No);
        break;
    }
    if (then)
        QObject::connect(box, &QMessageBox::finished, box,
                         [guard = QPointer<QObject>(context), hasContext = context != nullptr,
                          then = std::move(then)](int answer) {
                             if (!hasContext || guard)
                                 then(answer == QMessageBox::Ok || answer == QMessageBox::Yes);
                         });
    box->show();
}
