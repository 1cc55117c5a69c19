#include "timetable/Conversions.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>

// Any text gives a value that is never NaN; a byte comes out only for 0..255.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const double value = TextValue(text);
    if (std::isnan(value))
        std::abort();
    if (const auto byte = ToByte(value)) {
        if (std::fabs(value - *byte) > 0.5)
            std::abort();
    }
    return 0;
}
