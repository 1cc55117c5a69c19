#pragma once

#include "serial/ComDevice.h"
#include "serial/Platform.h"
#include "serial/Module1.h"
#include "serial/ReplyReceiver.h"
#include "timetable/TimeTable.h"

#include <QMainWindow>

#include <array>

class MSComm;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ShapeBox;
struct TestPattern;

// Where a window goes whose client area is `client` (a layout of `layout`, the
// menu bar included) and whose frame adds `frame` around it, so that the whole
// frame lies inside `room`: `client` itself where it does, else cut to the room
// (with room for a scroll bar `bar` wide) and moved in no further than needed.
QRect fitFrame(const QRect &room, const QMargins &frame, const QRect &client, const QSize &layout, int bar);

// The one window: the time table, the port selector and the six buttons.
// Handlers read and write the controls; the controls are the data.
//
// The controls keep the names the controller's operators and its papers use:
//   txt_1_hr(row)   minutes     row 0..4 = STAGE 1..5, row 5 = DELAY
//   txt_1_min(row)  seconds
//   txt_1_sec(row)  tenths of a second
//   txt_cnt         repeat count (0 repeats without end)
//   chk_st1..5(j)   relay boxes of stage 1..5: j 0..4 = relay 1..5, j 5 = internal relay
//   Frame1(row)     the frame of a row: "STAGE 1".."STAGE 5", "DELAY"
//   Combo1          COM port list "1".."8"
//   cmdConnect      "Connect"      Command1  "DownLoad"    Command2  "Exit"
//   Command3        "Test Set"     Command4  "Test Reset"  cmdRead   "Read" (never enabled)
//   Label3(row)     "분" over the minutes; Label3(6..8) the repeat-count captions
//   Label4, Label5  "초" and "1/10 초";  Label6 the ":" and "." between the fields
//   Label1, Label2  banner titles on Shape4 (grey box) under Shape17 (yellow bar)
//   Label7          "COM. Port No."
//   mnuRead, mnuWrite, mnuSetting  menu items with nothing behind them
//   MSComm1         the serial port
class frmQuarlin : public QMainWindow
{
    Q_OBJECT

public:
    using Boxes = std::array<QCheckBox *, kRelayCount>;

    explicit frmQuarlin(ComPathResolver comPaths = platform::comPortName, QWidget *parent = nullptr);
    ~frmQuarlin() override;

    void Form_Load();
    void cmdConnect_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void txt_1_hr_Change(short index);
    void txt_1_min_Change(short index);
    void MSComm1_OnComm();

    ShapeBox *Shape4 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    ShapeBox *Shape17 = nullptr;
    QLabel *Label7 = nullptr;
    QComboBox *Combo1 = nullptr;
    std::array<QGroupBox *, kRowCount> Frame1{};
    std::array<QLineEdit *, kRowCount> txt_1_hr{};
    std::array<QLineEdit *, kRowCount> txt_1_min{};
    std::array<QLineEdit *, kRowCount> txt_1_sec{};
    Boxes chk_st1{}, chk_st2{}, chk_st3{}, chk_st4{}, chk_st5{};
    std::array<QLabel *, 9> Label3{};
    std::array<QLabel *, kRowCount> Label4{};
    std::array<QLabel *, kRowCount> Label5{};
    std::array<QLabel *, 2 * kRowCount> Label6{};
    QLineEdit *txt_cnt = nullptr;
    QPushButton *cmdConnect = nullptr;
    QPushButton *cmdRead = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QAction *mnuRead = nullptr;
    QAction *mnuWrite = nullptr;
    QAction *mnuSetting = nullptr;
    MSComm *MSComm1 = nullptr;

    // The boxes of stage k (0..4): chk_st1 .. chk_st5.
    Boxes &stageBoxes(int stage);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QRect fitted(const QRect &client) const;
    QSize layoutSize() const;
    void createBanner(QWidget *client);
    void createFrames(QWidget *client);
    void createRow(int row);
    void createRelayBoxes(int stage);
    void createDelayExtras();
    void createButtons(QWidget *client);
    void createMenu();
    void setTabOrder();
    void connectHandlers();
    void nameForScreenReaders();
    void setTransferButtonsEnabled(bool enabled);

    void OpenCommPort();
    int Combo1ListIndex() const;
    void applyPattern(const TestPattern &pattern);
    TimeTableTexts timeTableTexts();
    void receiveArrived();

    // A failing step ends the handler; the operator is told, the program goes on.
    template <typename Handler>
    void guarded(Handler handler);

    ReplyReceiver m_receiver{Module1::RxBuffer, Module1::RxRecord};
    bool m_receiving = false;
    bool m_comboTyped = false;
    bool m_placing = false; // shown, not yet exposed: the frame is not known yet
};
