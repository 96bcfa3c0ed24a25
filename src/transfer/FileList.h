#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The stored files of one medium as the four list queries (MEAS, INST, BMP, WAVE) report
// them: "name,size,name,size...", a line beginning "NO FILES", or "EXECUTE ERROR" when the
// medium cannot be read (no PC card).
class FileList
{
public:
    // The window's table holds this many entries; further files are not listed.
    static constexpr int MaxEntries = 501;

    enum class Status
    {
        Listed, // at least one file
        NoFile, // no reply named a file
        NoCard  // a reply began with "EXECUTE ERROR"; nothing is listed
    };

    static FileList parse(const QList<QByteArray>& replies);

    Status status() const { return m_status; }
    int count() const { return int(m_names.size()); }
    const QList<QByteArray>& names() const { return m_names; }
    const QList<QByteArray>& sizes() const { return m_sizes; }
    // The list entry of file i: name, TAB, size.
    QString entry(int i) const;
    // More files were reported than the table holds.
    bool overflow() const { return m_overflow; }
    // A reply lacked a "," or CR where one was due; what it delimited before is kept.
    bool damaged() const { return m_damaged; }

private:
    void parseReply(const QByteArray& reply);

    Status m_status = Status::NoFile;
    QList<QByteArray> m_names;
    QList<QByteArray> m_sizes;
    bool m_overflow = false;
    bool m_damaged = false;
};
