// Item words as a ":DATA:ITEM?" reply carries them: decoding any reply and encoding the
// flags again gives words 0..255 that decode to the same flags.
#include "ItemWords.h"
#include "ModSet.h"
#include "NumberText.h"
#include "SettingsCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> fields = SplitFields(reply, 9);
    ItemWords words{};
    for (int k = 0; k < 9; ++k)
        words[k] = IntegerValue(fields[k]).value_or(0);
    ModSet decoded;
    DecodeItemWords(words, decoded);
    const ItemWords encoded = EncodeItemWords(decoded);
    for (int w : encoded) {
        if (w < 0 || w > 255)
            __builtin_trap();
    }
    ModSet again;
    DecodeItemWords(encoded, again);
    if (!(again == decoded))
        __builtin_trap();
    return 0;
}
