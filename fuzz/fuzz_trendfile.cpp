// The trend window's reader of logs and CSV files (Open log...): no undefined behaviour; a
// file reads as items with values or is refused with a reason; rows are numbered in order.
#include "TrendFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TrendFile f =
        ReadTrendFile(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!f.history != !f.error.isEmpty() || (f.history && f.history->names().isEmpty()))
        __builtin_trap();
    for (const QByteArray& name : f.history ? f.history->names() : QList<QByteArray>{}) {
        const TrendHistory::Series s = f.history->series(name);
        for (qsizetype i = 1; i < s.size(); ++i)
            if (!f.timed && s.x(i) <= s.x(i - 1))
                __builtin_trap();
    }
    return 0;
}
