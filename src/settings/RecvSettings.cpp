#include "RecvSettings.h"

#include "ItemWords.h"
#include "Link.h"
#include "ModSet.h"
#include "NumberText.h"
#include "ReplyFits.h"
#include "SettingsCodec.h"
#include "SettingsTable.h"

using namespace SettingsTable;

namespace {

// The code of one field of a list reply: its word compared whole, or as a number where the
// reply holds numbers ("1E3" is range 1000); 0 for a field that is none of the words.
qint32 fieldCode(const Member& m, const QByteArray& field, bool numbers)
{
    for (int i = 0; i < m.words.size(); ++i)
        if (numbers ? ReadNumber(field) == ReadNumber(m.words[i]) : field == m.words[i])
            return i;
    return 0;
}

// A number beyond the member's range would be stored as nonsense; the member keeps its value.
void storeField(const Member& m, int element, const QByteArray& field, bool numbers, ModSet& s)
{
    const Ref ref = m.at(s, element);
    if (double* const* real = std::get_if<double*>(&ref)) {
        if (const auto v = RealValue(field))
            **real = *v;
    } else if (m.kind == Kind::Choice && !m.counts) {
        *std::get<qint32*>(ref) = fieldCode(m, field, numbers);
    } else if (const auto v = IntegerValue(field)) {
        *std::get<qint32*>(ref) = *v;
    }
}

} // namespace

void StoreReply(const Row& row, const QByteArray& reply, ModSet& s)
{
    switch (row.reply) {
    case Reply::None:
    case Reply::Any:
        return;
    case Reply::Word: {
        // A reply matching none of the words leaves the setting as it was.
        const Member& m = row.members.front();
        const auto index = WordIndex(reply, m.words);
        const Ref ref = m.at(s, 0);
        if (!index)
            return;
        if (bool* const* flag = std::get_if<bool*>(&ref))
            **flag = *index == 1;
        else
            *std::get<qint32*>(ref) = m.codeOfWord(*index);
        return;
    }
    case Reply::Text: {
        const QByteArray name = reply.size() >= 2 ? reply.left(reply.size() - 2) : QByteArray();
        *std::get<QString*>(row.members.front().at(s, 0)) =
            name == "NO FILENAME" ? QString() : QString::fromLatin1(name);
        return;
    }
    case Reply::Items: {
        const QList<QByteArray> f = SplitFields(reply, row.fields());
        ItemWords words{};
        for (int k = 0; k < int(words.size()); ++k)
            words[k] = IntegerValue(f[k]).value_or(0);
        DecodeItemWords(words, s);
        return;
    }
    case Reply::Numbers:
    case Reply::Words: {
        const QList<QByteArray> f = SplitFields(reply, row.fields());
        int k = 0;
        for (const Member& m : row.members)
            for (int e = m.first(); e <= m.last(); ++e)
                storeField(m, e, f[k++], row.reply == Reply::Numbers, s);
        return;
    }
    }
}

Task<Outcome> RecvSettings(Job& job, ModSet& s)
{
    for (const Row& row : rows()) {
        if (!row.query)
            continue;
        Link::Reply reply = co_await job.transact(QByteArray(row.query), 1000);
        // A reply that cannot answer this query is most likely a late one to an earlier
        // command: storing it would shift every setting after it, so the query failed.
        if (reply.result == Link::Result::Complete && !ReplyFits(row.query, reply.text))
            reply.result = Link::Result::Timeout;
        if (reply.result != Link::Result::Complete) {
            // The last line that went out: for a busy link, an earlier one.
            co_await job.message(
                MessageKind::Plain,
                QStringLiteral("ERROR! %1").arg(int(reply.result), 2, 10, QLatin1Char('0')) +
                    QString::fromLatin1(job.link().LastSent()));
            co_return Outcome::failure(QByteArray(row.query), reply.result, reply.text);
        }
        StoreReply(row, reply.text, s);
    }
    co_return Outcome{};
}
