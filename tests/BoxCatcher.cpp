#include "tests/BoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

BoxCatcher::BoxCatcher()
{
    connect(&m_timer, &QTimer::timeout, this, &BoxCatcher::poll);
    m_timer.start(5);
}

void BoxCatcher::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible())
        return;
    boxes.append({box->windowTitle(), box->text(), static_cast<int>(box->buttons().size()),
                  box->icon() != QMessageBox::NoIcon});
    box->accept();
}

bool BoxCatcher::waitFor(int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return boxes.size() >= count; }, timeoutMs);
}
