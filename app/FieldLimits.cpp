#include "app/FieldLimits.h"

#include "timetable/Conversions.h"

std::optional<QString> limitedText(QStringView text, int limit)
{
    if (TextValue(text) > limit)
        return QString::number(limit);
    return std::nullopt;
}
