#pragma once

#include <QByteArray>
#include <QString>

// The program's three shared variables, alive for the whole run.
namespace Module1 {
extern QByteArray TxByte;  // carries each single byte of a frame to the port
extern QString RxBuffer;   // received characters of the reply being gathered
extern QString RxRecord;   // the last reply record
} // namespace Module1
