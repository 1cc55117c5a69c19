#pragma once

#include <QString>

class QWidget;

// Title of every message box that has none of its own.
inline const QString kAppTitle = QStringLiteral("Quarlin_01");

// Modal, one OK button, no icon; returns when the operator has closed it.
void showMessage(QWidget *parent, const QString &text, const QString &title = kAppTitle);
