#include "ItemWords.h"

#include "ModSet.h"
#include "NumberText.h"
#include "SettingsTable.h"

using namespace SettingsTable;

namespace {

// Calls f(ref, bit) for every element carried in the item words, with the bit of element 1
// moved on by one for each further element.
template <class F> void forEachItem(ModSet& s, F f)
{
    for (const Member& m : itemRow().members)
        for (int e = m.first(); e <= m.last(); ++e)
            f(m.at(s, e), m.itemBit + e - m.first());
}

} // namespace

ItemWords EncodeItemWords(const ModSet& set)
{
    ItemWords w{};
    forEachItem(const_cast<ModSet&>(set), [&w](Ref ref, int bit) {
        const qint32 code = codeOf(ref);
        if (std::holds_alternative<bool*>(ref)) {
            if (!code)
                return;
        } else if (code < 0 || code > 2) {
            return; // SELECT sets none of the order selection's bits
        } else {
            bit += 2 - code; // ALL, ODD, EVEN: 2, 1, 0 above its bit
        }
        w[bit / 8] |= 1 << bit % 8;
    });
    return w;
}

void DecodeItemWords(const ItemWords& w, ModSet& s)
{
    const auto has = [&w](int bit) { return (w[bit / 8] >> bit % 8 & 1) != 0; };
    forEachItem(s, [&has](Ref ref, int bit) {
        if (bool* const* flag = std::get_if<bool*>(&ref)) {
            **flag = has(bit);
            return;
        }
        qint32& code = *std::get<qint32*>(ref);
        if (!has(bit) && !has(bit + 1) && !has(bit + 2))
            code = 3; // SELECT
        for (int c = 0; c <= 2; ++c)
            if (has(bit + 2 - c))
                code = c;
    });
    // Any harmonic item (bits 0..4 of word 1) means HARM. until it is asked for on its own.
    s.Harm = (w[0] & 0x1F) != 0;
}

QString DataItemText(const ModSet& set)
{
    const ItemWords w = EncodeItemWords(set);
    QString text = QLatin1String(itemRow().command) + BlankForm(w[0]);
    for (qsizetype i = 1; i < qsizetype(w.size()); ++i)
        text += QLatin1Char(',') + BlankForm(w[i]);
    return text;
}
