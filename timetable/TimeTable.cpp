#include "timetable/TimeTable.h"

#include "timetable/Conversions.h"

namespace {

// Bit values of relays 1 to 5 and the internal relay; bits 1 and 2 stay clear.
constexpr std::array<std::uint8_t, kRelayCount> kRelayBits{0x08, 0x10, 0x20, 0x40, 0x80, 0x01};

QString rowName(int row)
{
    return row == kDelayRow ? QStringLiteral("DELAY") : QStringLiteral("STAGE %1").arg(row + 1);
}

QString fieldName(Field field)
{
    switch (field) {
    case Field::Minutes: return QStringLiteral("분");
    case Field::Seconds: return QStringLiteral("초");
    case Field::Tenths: return QStringLiteral("1/10 초");
    case Field::Count: return QStringLiteral("반복횟수");
    }
    return {};
}

// A pasted wall of digits would make the message box useless.
QString shortened(const QString &text)
{
    constexpr qsizetype kMax = 24;
    return text.size() <= kMax ? text : text.left(kMax) + QStringLiteral("…");
}

std::string overflowMessage(int row, Field field, const QString &text, int low, int high)
{
    const QString where = field == Field::Count ? fieldName(field)
                                                : rowName(row) + QLatin1Char(' ') + fieldName(field);
    return QStringLiteral("%1 값 \"%2\"은(는) 보낼 수 없습니다.\n"
                          "허용 범위는 %3 ~ %4입니다.\n"
                          "아무것도 보내지 않았습니다. 값을 고친 뒤 다시 보내십시오.")
        .arg(where, shortened(text))
        .arg(low)
        .arg(high)
        .toStdString();
}

std::uint8_t fieldByte(const QString &text, int row, Field field)
{
    if (const auto byte = ToByte(TextValue(text)))
        return *byte;
    throw FieldOverflow(row, field, text, 0, 255);
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
        throw FieldOverflow(kDelayRow, Field::Count, text, 0, 65535);
    return static_cast<std::uint16_t>(n);
}

} // namespace

FieldOverflow::FieldOverflow(int row, Field field, const QString &text, int low, int high)
    : std::runtime_error(overflowMessage(row, field, text, low, high)), m_row(row), m_field(field)
{
}

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
