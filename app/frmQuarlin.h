#pragma once

#include "serial/ComDevice.h"
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

// The one window: the time table, the port selector and the six buttons.
// Handlers read and write the controls; the controls are the data.
class frmQuarlin : public QMainWindow
{
    Q_OBJECT

public:
    using Boxes = std::array<QCheckBox *, kRelayCount>;

    explicit frmQuarlin(ComPathResolver comPaths = [](int n) { return comDevicePath(n); },
                        QWidget *parent = nullptr);
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

private:
    void createBanner(QWidget *client);
    void createFrames(QWidget *client);
    void createRow(int row);
    void createRelayBoxes(int stage);
    void createDelayExtras();
    void createButtons(QWidget *client);
    void createMenu();
    void setTabOrder();
    void connectHandlers();

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
};
