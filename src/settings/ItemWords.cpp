#include "ItemWords.h"

#include "ModSet.h"

namespace {

int bit(bool flag, int b)
{
    return flag ? 1 << b : 0;
}

bool has(int word, int b)
{
    return (word >> b) & 1;
}

} // namespace

ItemWords EncodeItemWords(const ModSet& s)
{
    ItemWords w{};
    w[0] = bit(s.Level, 0) | bit(s.Percent, 1) | bit(s.Phase, 2) | bit(s.Total, 3) | bit(s.THD, 4) |
           bit(s.Norm, 6);
    w[1] = bit(s.Inst, 0) | bit(s.Ave, 1) | bit(s.Max, 2) | bit(s.Min, 3) | bit(s.Integ, 4);
    switch (s.OrdType) {
    case 0:
        w[1] |= 128;
        break;
    case 1:
        w[1] |= 64;
        break;
    case 2:
        w[1] |= 32;
        break;
    default:
        break;
    }
    for (int c = 1; c <= 4; ++c)
        w[2] |= bit(s.Circuit[c], c - 1);
    w[3] = bit(s.U[1], 0) | bit(s.U[2], 1) | bit(s.U[3], 2) | bit(s.I[1], 3) | bit(s.I[2], 4) |
           bit(s.I[3], 5) | bit(s.I[4], 6) | bit(s.P, 7);
    for (int k = 1; k <= 40; ++k)
        w[4 + (k - 1) / 8] |= bit(s.Ord[k], (k - 1) % 8);
    return w;
}

void DecodeItemWords(const ItemWords& w, ModSet& s)
{
    s.Level = has(w[0], 0);
    s.Percent = has(w[0], 1);
    s.Phase = has(w[0], 2);
    s.Total = has(w[0], 3);
    s.THD = has(w[0], 4);
    s.Norm = has(w[0], 6);
    s.Harm = (w[0] & 0x1F) != 0;

    s.Inst = has(w[1], 0);
    s.Ave = has(w[1], 1);
    s.Max = has(w[1], 2);
    s.Min = has(w[1], 3);
    s.Integ = has(w[1], 4);
    if ((w[1] & 0xE0) == 0) {
        s.OrdType = 3;
    } else {
        if (has(w[1], 7))
            s.OrdType = 0;
        if (has(w[1], 6))
            s.OrdType = 1;
        if (has(w[1], 5))
            s.OrdType = 2;
    }

    for (int c = 1; c <= 4; ++c)
        s.Circuit[c] = has(w[2], c - 1);
    for (int u = 1; u <= 3; ++u)
        s.U[u] = has(w[3], u - 1);
    for (int i = 1; i <= 4; ++i)
        s.I[i] = has(w[3], i + 2);
    s.P = has(w[3], 7);
    for (int k = 1; k <= 40; ++k)
        s.Ord[k] = has(w[4 + (k - 1) / 8], (k - 1) % 8);
}
