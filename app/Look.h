#pragma once

#include <QString>

// The window's fonts and style, set once before the first widget exists.
//
// "굴림" is a Windows face: it is mapped onto an installed Korean gothic face
// so that bold fields never come out in a Latin face with borrowed Hangul.
// Returns the face chosen (empty when none is installed).
QString installLook();
