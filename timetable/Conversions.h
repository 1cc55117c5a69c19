#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

// The value of a field's text: the plain decimal number (sign, digits, an
// optional point and further digits) that the text begins with once its
// blanks are removed, or 0 when it begins with no number. Never NaN: a
// number too large for a double gives plus or minus infinity.
double TextValue(QStringView text);

// Nearest integer, a tie going to the even neighbour (0.5 -> 0, 2.5 -> 2).
double RoundHalfEven(double x);

// RoundHalfEven as an unsigned byte; nothing when the result lies outside 0..255.
std::optional<std::uint8_t> ToByte(double x);
