#include "timetable/TimeTable.h"

#include "timetable/Conversions.h"

namespace {

// Bit values of relays 1 to 5 and the internal relay; bits 1 and 2 stay clear.
constexpr std::array<std::uint8_t, kRelayCount> kRelayBits{0x08, 0x10, 0x20, 0x40, 0x80, 0x01};

std::uint8_t fieldByte(const QString &text, int row, Field field)
{
    if (const auto byte = ToByte(TextValue(text)))
        return *byte;
    throw FieldOverflow(row, field, text, 255);
}

RowTime rowTime(const TimeTableTexts::Row &texts, int row)
{
    return {fieldByte(texts.minutes, row, Field::Minutes),
            fieldByte(texts.seconds, row, Field::Seconds),
            fieldByte(texts.tenths, row, Field::Tenths)};
}

std::uint16_t repeatCount(const QString &text)
{
    const double n = RoundHalfEven(TextValue(text));
    if (!(n >= 0.0 && n <= 65535.0))
        throw FieldOverflow(kDelayRow, Field::Count, text, 65535);
    return static_cast<std::uint16_t>(n);
}

} // namespace

std::uint8_t RelayMask(const std::array<bool, kRelayCount> &checked)
{
    std::uint8_t mask = 0;
    for (std::size_t j = 0; j < kRelayBits.size(); ++j) {
        if (checked[j])
            mask = static_cast<std::uint8_t>(mask | kRelayBits[j]);
    }
    return mask;
}

TimeTable ReadTimeTable(const TimeTableTexts &texts)
{
    TimeTable table;
    for (std::size_t k = 0; k < kStageCount; ++k)
        table.stages[k] = rowTime(texts.rows[k], static_cast<int>(k));
    for (std::size_t k = 0; k < kStageCount; ++k)
        table.masks[k] = RelayMask(texts.relays[k]);
    table.delay = rowTime(texts.rows[kDelayRow], kDelayRow);
    table.count = repeatCount(texts.count);
    return table;
}
