#pragma once

#include <QProcess>

// Prometheus' own check of an exposition, "promtool check metrics": empty when it passes.
inline QByteArray promtool(const QByteArray& text)
{
    QProcess p;
    p.start(QStringLiteral("promtool"), {QStringLiteral("check"), QStringLiteral("metrics")});
    p.waitForStarted();
    p.write(text);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    const QByteArray said = (p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
    return p.exitCode() == 0 ? said : "exit " + QByteArray::number(p.exitCode()) + ": " + said;
}
