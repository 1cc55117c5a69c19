#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal standing in for the controller: the program opens the
// slave path as its serial port, the test reads and writes the master.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Everything that arrives within the time, waiting at most until count bytes are in.
    QByteArray read(int count, int timeoutMs = 2000);
    // What arrives within the time, however much.
    QByteArray readFor(int ms);
    void write(const QByteArray &bytes);
    // Fills the line from the program's side until the kernel takes no more,
    // so that whatever the program writes next stays stuck.
    qsizetype clog();
    // Pulls the plug: the program's side sees the device go away.
    void closeMaster();

private:
    int m_master = -1;
    int m_spareSlave = -1;
    QString m_slavePath;
};
