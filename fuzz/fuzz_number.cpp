// The number reader: no undefined behaviour, and every finite number it reads is written
// back by both number forms to text that reads as the same number.
#include "NumberText.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<double> real = RealValue(text);
    const std::optional<qint32> integer = IntegerValue(text);
    if (std::isnan(ReadNumber(text)) || (integer && !real) || (real && !std::isfinite(*real)))
        __builtin_trap();
    // Subnormal magnitudes are not written back exactly; no setting comes near them.
    if (real && (*real == 0 || std::fabs(*real) > 1e-300)) {
        for (const QString& form : {BlankForm(*real), PlainForm(*real)}) {
            if (std::fabs(ReadNumber(form) - *real) > 1e-14 * std::fabs(*real))
                __builtin_trap();
        }
    }
    return 0;
}
