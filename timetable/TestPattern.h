#pragma once

#include <QString>

#include <array>

// The bench test pattern: stage k has relay k on and one second, stage 5 also
// the internal relay. Setting and removing it touch the same controls.
struct PatternBox
{
    int stage; // 0..4
    int relay; // 0..5
};

inline constexpr std::array<PatternBox, 6> kPatternBoxes{{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {4, 5}}};

struct TestPattern
{
    QString secondsText; // for the seconds field of stages 1 to 5
    bool checked;        // for every box of kPatternBoxes
};

TestPattern TestSetPattern();
TestPattern TestResetPattern();
