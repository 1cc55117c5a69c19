#include "app/Look.h"
#include "app/Messages.h"
#include "tests/BoxCatcher.h"

#include <QTest>

#include <algorithm>

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
        // Heap in use once the boxes are shown and everything they left for later is done.
        const auto heapAfterBoxes = [&](int count) {
            for (int i = 0; i < count; ++i)
                showMessage(&window, messages::downloaded(), messages::kConfirmTitle);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            return qint64(mallinfo2().uordblks);
        };
        heapAfterBoxes(300); // one-time caches
        // Qt's caches fill and evict, so the heap saws up and down by a hundred
        // kilobytes every thousand boxes or so; a leak lifts the whole saw. Compare
        // the lowest point of the first four batches with that of the last four.
        constexpr int kBatch = 250;
        QList<qint64> heaps;
        for (int batch = 0; batch < 12; ++batch)
            heaps << heapAfterBoxes(kBatch);
        const auto lowest = [](const QList<qint64> &four) { return *std::min_element(four.begin(), four.end()); };
        const qint64 climb = lowest(heaps.mid(8)) - lowest(heaps.mid(0, 4));
        QCOMPARE(painted.boxes.size(), 300 + 12 * kBatch);
        // Losing a message box, or just its text, every time costs more than 64 bytes a box.
        QVERIFY2(climb < 8 * kBatch * 64,
                 qPrintable(QStringLiteral("the heap climbed %1 bytes over %2 boxes").arg(climb).arg(8 * kBatch)));
    }
};

// As in a desktop session, whose theme gives dialog buttons icons, whatever
// session runs the test: set before QTEST_MAIN's application picks its theme.
static void asInADesktopSession()
{
    qputenv("XDG_CURRENT_DESKTOP", "KDE");
    qputenv("KDE_SESSION_VERSION", "5");
    qunsetenv("QT_QPA_PLATFORMTHEME");
}
Q_CONSTRUCTOR_FUNCTION(asInADesktopSession)

QTEST_MAIN(TestMemory)
#include "tst_memory.moc"
