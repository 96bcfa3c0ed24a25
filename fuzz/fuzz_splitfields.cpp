// Field splitting and the check of a settings reply against its query. The first byte
// picks the field count and the query.
#include "ReplyFits.h"
#include "SettingsCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const char* const queries[] = {":WIR?",      ":AVE?",       ":CT?",      ":SENS?",
                                          "FILE:MEAS?", ":DATA:ITEM?", ":HEAD OFF", ":TIMER?"};
    const int n = 1 + data[0] % 10;
    const QByteArray reply(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QList<QByteArray> fields = SplitFields(reply, n);
    if (fields.size() != n)
        __builtin_trap();
    for (const QByteArray& f : fields) {
        if (f.contains(','))
            __builtin_trap();
    }
    ReplyFits(queries[(data[0] / 10) % 8], reply);
    return 0;
}
