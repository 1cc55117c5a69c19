#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <exception>
#include <utility>

constexpr int kStageCount = 5;
constexpr int kRowCount = 6; // five stages and the delay row
constexpr int kDelayRow = 5;
constexpr int kRelayCount = 6; // relays 1 to 5 and the internal relay

struct RowTime
{
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
    std::uint8_t tenths = 0;
};

struct TimeTable
{
    std::array<RowTime, kStageCount> stages{};
    std::array<std::uint8_t, kStageCount> masks{};
    RowTime delay{};
    std::uint16_t count = 0;
};

// The window's fields as the operator left them: what a download reads.
struct TimeTableTexts
{
    struct Row
    {
        QString minutes;
        QString seconds;
        QString tenths;
    };
    std::array<Row, kRowCount> rows{};
    std::array<std::array<bool, kRelayCount>, kStageCount> relays{};
    QString count;
};

enum class Field { Minutes, Seconds, Tenths, Count };

// A value that does not fit its byte (or the count's two bytes).
class FieldOverflow : public std::exception
{
public:
    FieldOverflow(int row, Field field, QString text, int high)
        : m_row(row), m_field(field), m_text(std::move(text)), m_high(high)
    {
    }

    int row() const { return m_row; }
    Field field() const { return m_field; }
    const QString &text() const { return m_text; }
    int high() const { return m_high; } // the range is 0 to this
    const char *what() const noexcept override { return "value does not fit its field"; }

private:
    int m_row;
    Field m_field;
    QString m_text;
    int m_high;
};

std::uint8_t RelayMask(const std::array<bool, kRelayCount> &checked);

// Converts every field before anything is sent; throws FieldOverflow naming
// the first field (in frame order) that does not fit.
TimeTable ReadTimeTable(const TimeTableTexts &texts);
