// The NAME=VALUE text of settings set: no undefined behaviour; a refused text leaves the
// record as it was and says why in printable text; an applied one prints (settings get) to
// text that applies to the same record.
#include "SettingsText.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    ModSet set;
    const SettingsText::ApplyResult r = SettingsText::apply(text, set, size % 2 == 0);
    const bool printable = std::none_of(r.error.begin(), r.error.end(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
    });
    if (r.ok ? !r.error.isEmpty() : (!(set == ModSet{}) || r.error.isEmpty() || !printable))
        __builtin_trap();
    const QString printed = SettingsText::format(set);
    ModSet back;
    if (!SettingsText::apply(printed.toUtf8(), back, false).ok ||
        SettingsText::format(back) != printed)
        __builtin_trap();
    return 0;
}
