#pragma once

#include <QString>
#include <QStringView>

constexpr QChar kReplyEnd = QChar(4);
constexpr QChar kRecordStart = QLatin1Char('R');
constexpr qsizetype kRecordLength = 25;

// Gathers the controller's characters into reply records. A reply ends with
// the byte 4; its record is the 25 characters from the first "R" of the
// characters gathered since the previous reply (fewer when they run out).
//
// Only what can still end up in the record is kept: nothing before the first
// "R", nothing past its 25 characters. Since a terminator ends gathering at
// once, earlier characters never hold one, so each chunk is scanned once.
class ReplyReceiver
{
public:
    ReplyReceiver(QString &rxBuffer, QString &rxRecord) : m_buffer(rxBuffer), m_record(rxRecord) {}

    // Takes one read's worth of characters. True when they ended a reply: the
    // caller then discards what is still waiting in the port.
    bool feed(QStringView chunk);

private:
    QString &m_buffer;
    QString &m_record;
};
