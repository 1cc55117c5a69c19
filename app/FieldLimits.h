#pragma once

#include <QString>
#include <QStringView>

#include <optional>

constexpr int kMinutesLimit = 99;
constexpr int kSecondsLimit = 59;

// The text that replaces a field's text whose value lies above the limit;
// nothing when the text may stay as it is (at or below the limit, whatever else it holds).
std::optional<QString> limitedText(QStringView text, int limit);
