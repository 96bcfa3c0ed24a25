#include "FileList.h"

FileList FileList::parse(const QList<QByteArray>& replies)
{
    FileList list;
    for (const QByteArray& reply : replies) {
        if (reply.startsWith("EXECUTE ERROR")) {
            // The whole listing is void: the list stays empty.
            FileList none;
            none.m_status = Status::NoCard;
            return none;
        }
        list.parseReply(reply);
    }
    list.m_status = list.m_names.isEmpty() ? Status::NoFile : Status::Listed;
    return list;
}

void FileList::parseReply(const QByteArray& reply)
{
    // p: where the next name starts; q: the separator that ended the last size. A reply is
    // done when that separator is the CR of its CR LF (or the reply is three bytes or less).
    qsizetype p = 0;
    qsizetype q = 0;
    for (;;) {
        if (q >= reply.size() - 3 || reply.startsWith("NO FILES"))
            return;
        const qsizetype c1 = reply.indexOf(',', p);
        if (c1 < 0) {
            m_damaged = true;
            return;
        }
        qsizetype c2 = reply.indexOf(',', c1 + 1);
        if (c2 < 0)
            c2 = reply.indexOf('\r', c1 + 1);
        if (c2 < 0) {
            // The size is not delimited: no entry from this name.
            m_damaged = true;
            return;
        }
        if (m_names.size() >= MaxEntries) {
            m_overflow = true;
            return;
        }
        m_names.append(reply.mid(p, c1 - p));
        m_sizes.append(reply.mid(c1 + 1, c2 - c1 - 1));
        q = c2;
        p = c2 + 1;
    }
}

QString FileList::entry(int i) const
{
    return QString::fromLatin1(m_names.at(i)) + QLatin1Char('\t') +
           QString::fromLatin1(m_sizes.at(i));
}
