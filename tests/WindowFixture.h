#pragma once

#include "app/frmQuarlin.h"
#include "tests/BoxCatcher.h"
#include "tests/PtyPair.h"

#include <QTemporaryDir>

#include <memory>

// A window whose COM 1 is a pseudo-terminal held by the test; the other
// numbers name devices that do not exist.
struct WindowFixture
{
    WindowFixture();

    std::unique_ptr<PtyPair> pty = std::make_unique<PtyPair>();
    QTemporaryDir emptyDev;
    frmQuarlin window;

    // Presses "Connect" with the given list entry chosen; returns the boxes shown.
    QList<SeenBox> connect(int listIndex = 0);
    // Presses a button and returns the boxes it showed.
    QList<SeenBox> click(QWidget *button);
    // The exact bytes the program put on the line for one frame.
    QByteArray readFrame() { return pty->read(27); }
    // Replaces the controller: the old pty is unplugged, COM 1 names a new one.
    void plugInNewDevice();
};

QByteArray frameBytes(std::initializer_list<int> values);
QByteArray startFrame();
double cpuSeconds();
