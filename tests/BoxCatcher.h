#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

struct SeenBox
{
    QString title;
    QString text;
    int buttons = 0;
    bool hasIcon = false;
};

// While alive, answers every modal message box with OK and records it. The
// timer runs inside the box's own event loop, so arm it before the click.
class BoxCatcher : public QObject
{
public:
    BoxCatcher();

    QList<SeenBox> boxes;

    // Runs the event loop until at least count boxes have been seen.
    bool waitFor(int count, int timeoutMs = 3000);

private:
    void poll();
    QTimer m_timer;
};
