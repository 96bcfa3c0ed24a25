// The measured-data reply with names and values: at most the lists' capacity, each list
// ended by the marker right after the last item, no item holding a comma.
#include "MeasLists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MeasLists lists; // large; its entries past the marker carry over between inputs
    const QByteArray reply(reinterpret_cast<const char*>(data), qsizetype(size));
    const qint32 n = lists.SplitHeaderData(reply);
    if (n < 0 || n > MeasLists::MaxItems || lists.MeasHeader(n) != MeasLists::endMarker() ||
        lists.MeasData(n) != MeasLists::endMarker())
        __builtin_trap();
    for (int i = 0; i < n; ++i) {
        if (lists.MeasHeader(i).contains(',') || lists.MeasData(i).contains(','))
            __builtin_trap();
    }
    return 0;
}
