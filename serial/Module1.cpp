#include "serial/Module1.h"

namespace Module1 {
QByteArray TxByte(1, '\0');
QString RxBuffer;
QString RxRecord;
} // namespace Module1
