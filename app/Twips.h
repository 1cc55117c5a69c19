#pragma once

#include <QRect>

// The layout is given in twips; at 96 dpi fifteen of them make one pixel,
// and Qt's device-pixel ratio scales the rest.
constexpr int tw(int twips)
{
    return twips / 15;
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return {tw(left), tw(top), tw(width), tw(height)};
}
