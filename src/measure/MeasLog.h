#pragma once

#include <QByteArray>
#include <QString>

class MeasLists;

// Appends measurements to the log file ("data.log" in the current directory): a line of
// names and a line of values, each entry followed by ",", lines ending in CR LF. The file is
// opened and closed for every measurement, and left alone while logging is off.
class MeasLog
{
public:
    explicit MeasLog(QString path = QStringLiteral("data.log"));

    bool logging() const { return m_logging; }
    void setLogging(bool on) { m_logging = on; }
    const QString& path() const { return m_path; }

    // Both give false when the file could not be opened or written; errorString() then holds
    // the system's reason. With logging off they do nothing and give true.
    bool LogHeaderAndData(const MeasLists& lists);
    bool LogData(const MeasLists& lists);
    const QString& errorString() const { return m_error; }

    // The entries up to the "END" marker, each followed by ",", then CR LF.
    static QByteArray headerLine(const MeasLists& lists);
    static QByteArray dataLine(const MeasLists& lists);

private:
    bool append(const QByteArray& bytes);

    QString m_path;
    bool m_logging = false;
    QString m_error;
};
