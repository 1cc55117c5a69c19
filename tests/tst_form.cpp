#include "app/Look.h"
#include "app/frmQuarlin.h"

#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTest>

#include <memory>

// The window as the operator first sees it, and what it does with no port at all.
class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installLook(); }
    void init() { form = std::make_unique<frmQuarlin>(); }
    void cleanup() { form.reset(); }

    void startsReadyToConnect()
    {
        frmQuarlin &w = *form;
        QCOMPARE(w.windowTitle(), QStringLiteral("ZEL Time Table"));
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("1"));
        QCOMPARE(w.Combo1->count(), 8);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QWidget *client = w.Command1->parentWidget();
        QCOMPARE(client->visibleRegion(), QRegion(0, 0, 607, 731)); // no scroll bar, nothing cut

        // Fifteen twips to the pixel: frames 105 twips apart, nothing overlaps or leaves the client area.
        for (std::size_t row = 1; row < kRowCount; ++row)
            QCOMPARE(w.Frame1[row]->y() - w.Frame1[row - 1]->geometry().bottom() - 1, 7);
        QList<QWidget *> placed(w.Frame1.begin(), w.Frame1.end());
        placed << w.cmdConnect << w.cmdRead << w.Command1 << w.Command2 << w.Command3 << w.Command4 << w.Combo1;
        for (QWidget *a : placed) {
            QVERIFY(client->rect().contains(a->geometry()));
            for (QWidget *b : placed)
                QVERIFY(a == b || !a->geometry().intersects(b->geometry()));
        }
    }

    // Larger than the screen, the window is cut down to it; smaller than its layout,
    // it scrolls, and Tab brings DownLoad and Exit into view.
    void smallScreen()
    {
        frmQuarlin &w = *form;
        w.resize(607, 5000);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(w.screen()->availableGeometry().contains(w.geometry()) && w.frameGeometry().top() >= 0);
        w.resize(400, 300);
        w.Command1->setEnabled(true);
        for (QPushButton *button : {w.Command1, w.Command2}) {
            qobject_cast<QScrollArea *>(w.centralWidget())->ensureVisible(0, 0);
            QWidget *before = button->previousInFocusChain();
            before->setFocus();
            QTest::keyClick(before, Qt::Key_Tab);
            QVERIFY(w.height() == 300 && button->hasFocus() && button->visibleRegion() == QRegion(button->rect()));
        }
    }

    // The frame a window manager adds (1 px borders, a 20 px title bar) stays in the
    // free area: a window that fits is left where it was put; one that does not is
    // cut to the area, with room for the scroll bar, and moved in.
    void fitFrameInFreeArea()
    {
        const QMargins frame(1, 20, 1, 5);
        const QSize layout(607, 750);
        const QRect laptop(0, 0, 1366, 738); // a panel at the bottom
        QCOMPARE(fitFrame(QRect(0, 30, 1920, 1170), frame, QRect(656, 247, 607, 750), layout, 14),
                 QRect(656, 247, 607, 750));
        QCOMPARE(fitFrame(laptop, frame, QRect(0, 0, 607, 750), layout, 14), QRect(1, 20, 621, 713));
        QCOMPARE(fitFrame(laptop, frame, QRect(1, 20, 621, 738), layout, 14), QRect(1, 20, 621, 713));
        QCOMPARE(fitFrame(laptop, frame, QRect(1, 20, 621, 713), layout, 14), QRect(1, 20, 621, 713));
        QCOMPARE(fitFrame(QRect(0, 30, 1280, 690), frame, QRect(900, 0, 607, 750), layout, 14),
                 QRect(658, 50, 621, 665));
        // Without a window manager there is no frame; both sides cut, both scroll.
        QCOMPARE(fitFrame(QRect(0, 0, 800, 600), QMargins(), QRect(0, 0, 607, 5000), layout, 14),
                 QRect(0, 0, 621, 600));
        QCOMPARE(fitFrame(QRect(0, 0, 500, 400), QMargins(), QRect(0, 0, 607, 750), layout, 14),
                 QRect(0, 0, 500, 400));
    }

    void screenReadersHearEachField()
    {
        frmQuarlin &w = *form;
        const auto name = [](QWidget *widget) { return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name); };
        QCOMPARE(name(w.txt_1_hr[0]), QStringLiteral("STAGE 1 분"));
        QCOMPARE(name(w.txt_1_min[3]), QStringLiteral("STAGE 4 초"));
        QCOMPARE(name(w.txt_1_sec[5]), QStringLiteral("DELAY 1/10 초"));
        QCOMPARE(name(w.txt_cnt), QStringLiteral("반복횟수"));
        QCOMPARE(name(w.Combo1->lineEdit()), QStringLiteral("COM. Port No."));
        const auto labels = QAccessible::queryAccessibleInterface(w.Combo1)->relations(QAccessible::Label);
        QVERIFY(!labels.isEmpty() && labels[0].first->object() == w.Label7);
    }

    void fieldLimits_data()
    {
        QTest::addColumn<bool>("seconds");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("typed"); // as it reads when typed key by key
        QTest::newRow("100 minutes") << false << "100" << "99" << "99";
        QTest::newRow("99.5 minutes") << false << "99.5" << "99" << "99";
        QTest::newRow("full-width 100") << false << QStringLiteral("１００") << "99" << "99";
        QTest::newRow("60 seconds") << true << "60" << "59" << "59";
        QTest::newRow("75abc seconds") << true << "75abc" << "59" << "59abc";
        QTest::newRow("059 stays") << true << "059" << "059" << "059";
        QTest::newRow("-7 stays") << true << "-7" << "-7" << "-7";
        QTest::newRow("abc stays") << true << "abc" << "abc" << "abc";
    }

    void fieldLimits()
    {
        QFETCH(bool, seconds);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        frmQuarlin &w = *form;
        for (std::size_t row = 0; row < kRowCount; ++row) {
            QLineEdit *field = seconds ? w.txt_1_min[row] : w.txt_1_hr[row];
            field->setText(text);
            QCOMPARE(field->text(), shown);
            (seconds ? w.txt_1_hr[row] : w.txt_1_min[row])->setText(text);
        }
        // Typing runs the limit after every key; the tenths and the count have no limit.
        QLineEdit *field = seconds ? w.txt_1_min[2] : w.txt_1_hr[2];
        field->clear();
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QCOMPARE(field->text(), typed);
        w.txt_1_sec[0]->setText(QStringLiteral("300"));
        w.txt_cnt->setText(QStringLiteral("99999"));
        QCOMPARE(w.txt_1_sec[0]->text() + w.txt_cnt->text(), QStringLiteral("30099999"));
    }

private:
    std::unique_ptr<frmQuarlin> form;
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
