#include "serial/ReplyReceiver.h"

bool ReplyReceiver::feed(QStringView chunk)
{
    const bool ended = chunk.contains(kReplyEnd);

    if (m_buffer.isEmpty()) {
        // The record starts at the first "R" of the chunk, even one that
        // follows the terminator in the same read.
        const qsizetype start = chunk.indexOf(kRecordStart);
        if (start >= 0)
            m_buffer = chunk.mid(start, kRecordLength).toString();
    } else {
        m_buffer += chunk.left(kRecordLength - m_buffer.size());
    }

    if (!ended)
        return false;
    // A reply with no "R" at all leaves the previous record standing.
    if (!m_buffer.isEmpty())
        m_record = m_buffer;
    m_buffer.clear();
    return true;
}
