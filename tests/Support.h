#pragma once

#include "app/frmQuarlin.h"
#include "tests/BoxCatcher.h"
#include "tools/Pty.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A window whose COM 1 is a pseudo-terminal held by the test; COM 2 to 8
// name devices that do not exist.
struct WindowFixture
{
    WindowFixture();

    std::unique_ptr<Pty> pty = newPty();
    QTemporaryDir emptyDev;
    frmQuarlin window;

    // Presses "Connect" with the given list entry chosen; returns the boxes shown.
    QList<SeenBox> connect(int listIndex = 0);
    // What the program put on the line within the time, waiting for at most count bytes.
    QByteArray read(int count = 27, int timeoutMs = 2000);
    void write(const QByteArray &bytes);
    static std::unique_ptr<Pty> newPty();
};

QByteArray bytes(std::initializer_list<int> values);
QByteArray startFrame();
