#include "app/Look.h"
#include "app/Messages.h"
#include "tests/BoxCatcher.h"

#include <QTest>

#include <malloc.h>

// Runs on a real display (Xvfb): only there are the boxes' buttons painted
// with what a desktop style caches.
class TestMemory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installLook(); }

    void thousandsOfBoxesLeaveNothingBehind()
    {
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        BoxCatcher painted;
        const auto showBoxes = [&](int count) {
            for (int i = 0; i < count; ++i)
                showMessage(&window, messages::downloaded(), messages::kConfirmTitle);
        };
        showBoxes(300); // one-time caches
        const auto before = mallinfo2().uordblks;
        showBoxes(1500);
        const auto growth = qint64(mallinfo2().uordblks) - qint64(before);
        QCOMPARE(painted.boxes.size(), 1800);
        QVERIFY2(growth < 200 * 1024, qPrintable(QStringLiteral("%1 bytes over 1500 boxes").arg(growth)));
    }
};

QTEST_MAIN(TestMemory)
#include "tst_memory.moc"
