#include "serial/ReplyReceiver.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

// The first byte of each step picks the chunk length, so the fuzzer also
// explores how a stream is split into reads. The receiver must keep at most
// one record's worth and take the same record as the whole-buffer search.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString buffer;
    QString record;
    ReplyReceiver receiver(buffer, record);
    QString whole;
    QString wholeRecord;

    std::size_t at = 0;
    while (at < size) {
        const std::size_t wanted = data[at++] % 64u + 1u;
        const std::size_t length = std::min(wanted, size - at);
        const QString chunk = QString::fromLatin1(reinterpret_cast<const char *>(data + at),
                                                  static_cast<qsizetype>(length));
        at += length;

        whole += chunk;
        bool ended = false;
        if (whole.contains(QChar(4))) {
            ended = true;
            const qsizetype p = whole.indexOf(QLatin1Char('R'));
            if (p >= 0)
                wholeRecord = whole.mid(p, 25);
            whole.clear();
        }
        if (receiver.feed(chunk) != ended || record != wholeRecord || buffer.size() > 25)
            std::abort();
    }
    return 0;
}
