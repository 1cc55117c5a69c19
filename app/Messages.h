#pragma once

#include <QString>

class CommError;
class FieldOverflow;
class QWidget;

// Every text the window tells the operator, worded in one place.
namespace messages {

inline const QString kAppTitle = QStringLiteral("Quarlin_01");
inline const QString kConfirmTitle = QStringLiteral("확  인");

QString portOpened(const QString &device);
QString portNotOpened(const QString &device, const QString &reason);
QString downloaded();
QString deviceLost(const QString &device);
QString unknownFailure();

QString describe(const CommError &error);
QString describe(const FieldOverflow &overflow);

} // namespace messages

// Modal, one OK button, no icon; returns when the operator has closed it.
void showMessage(QWidget *parent, const QString &text, const QString &title = messages::kAppTitle);
