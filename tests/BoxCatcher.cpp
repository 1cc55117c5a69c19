#include "tests/BoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

BoxCatcher::BoxCatcher()
{
    connect(&m_timer, &QTimer::timeout, this, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        boxes.append({box->windowTitle(), box->text(),
                      box->buttons().size() == 1 && box->icon() == QMessageBox::NoIcon});
        box->accept();
    });
    m_timer.start(5);
}

bool BoxCatcher::waitFor(int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return boxes.size() >= count; }, timeoutMs);
}

QList<SeenBox> click(QWidget *button)
{
    BoxCatcher catcher;
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    return catcher.boxes;
}
