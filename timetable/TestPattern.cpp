#include "timetable/TestPattern.h"

TestPattern TestSetPattern()
{
    return {QStringLiteral("1"), true};
}

TestPattern TestResetPattern()
{
    return {QStringLiteral("0"), false};
}
