#pragma once

#include "app/frmQuarlin.h"
#include "tools/Pty.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

struct SeenBox
{
    QString title;
    QString text;
    bool plain = false; // one OK button, no icon
};

// While alive, answers every modal message box with OK and records it. Its
// timer runs inside the box's own event loop, so arm it before the click.
class BoxCatcher : public QObject
{
public:
    BoxCatcher();
    QList<SeenBox> boxes;
    // Runs the event loop until at least count boxes have been seen.
    bool waitFor(int count, int timeoutMs = 3000);

private:
    QTimer m_timer;
};

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
    // Presses a button and returns the boxes it showed.
    QList<SeenBox> click(QWidget *button);
    // What the program put on the line within the time, waiting for at most count bytes.
    QByteArray read(int count = 27, int timeoutMs = 2000);
    void write(const QByteArray &bytes);
    // Fills the line from the program's side until the kernel takes no more,
    // so that whatever the program writes next stays stuck.
    void clog();
    static std::unique_ptr<Pty> newPty();
};

QByteArray bytes(std::initializer_list<int> values);
QByteArray startFrame();
