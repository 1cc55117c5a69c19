#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

struct SeenBox
{
    QString title;
    QString text;
    bool plain = false; // one OK button, no icon
};

// While alive, answers every modal message box with OK once it shows, and
// records it. Its timer runs inside the box's own event loop, so arm it
// before the click.
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

// Clicks a button and returns the boxes the click showed.
QList<SeenBox> click(QWidget *button);
