// The file-list parser over up to four replies (split at byte 0xFF): names and sizes pair
// up, never more than the table holds, no name holding a comma, status as the list says.
#include "FileList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const FileList list = FileList::parse(bytes.split('\xff').mid(0, 4));
    const int n = list.count();
    if (list.sizes().size() != n || n > FileList::MaxEntries ||
        (list.status() == FileList::Status::Listed) != (n > 0))
        __builtin_trap();
    for (int i = 0; i < n; ++i) {
        if (list.names()[i].contains(',') || list.entry(i).isEmpty())
            __builtin_trap();
    }
    return 0;
}
