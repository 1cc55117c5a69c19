#include "app/Messages.h"

#include "serial/CommError.h"
#include "timetable/TimeTable.h"

#include <QMessageBox>

namespace messages {

namespace {

QString rowName(int row)
{
    return row == kDelayRow ? QStringLiteral("DELAY") : QStringLiteral("STAGE %1").arg(row + 1);
}

QString fieldName(Field field)
{
    switch (field) {
    case Field::Minutes: return QStringLiteral("분");
    case Field::Seconds: return QStringLiteral("초");
    case Field::Tenths: return QStringLiteral("1/10 초");
    case Field::Count: return QStringLiteral("반복횟수");
    }
    return {};
}

// A pasted wall of digits would make the message box useless.
QString shortened(const QString &text)
{
    constexpr qsizetype kMax = 24;
    return text.size() <= kMax ? text : text.left(kMax) + QStringLiteral("…");
}

// Why the port did not open, for the second half of the Connect message.
QString openReason(const CommError &error)
{
    switch (error.fault()) {
    case CommFault::NoSuchPort:
        return QStringLiteral("COM %1에 해당하는 장치가 없습니다. 목록에서 1~8 중 하나를 고르십시오.").arg(error.detail());
    case CommFault::NoSuchDevice:
        return QStringLiteral("장치가 없습니다. 어댑터와 케이블 연결, COM 번호를 확인하십시오.");
    case CommFault::InUse:
        return QStringLiteral("다른 프로그램이 이 포트를 사용하고 있습니다. 그 프로그램을 닫은 뒤 다시 연결하십시오.");
    case CommFault::HeldBy: {
        const QStringList held = error.detail().split(u'\n'); // pid, program, lock file
        const QString who = held.value(1).isEmpty() ? QStringLiteral("PID ") + held[0]
                                                    : QStringLiteral("%1, PID %2").arg(held[1], held[0]);
        const QString lock = held.value(2).isEmpty() ? QString() : QStringLiteral(" (잠금 파일 %1)").arg(held[2]);
        return QStringLiteral("다른 프로그램(%1)이 이 포트를 사용하고 있습니다%2. 그 프로그램을 닫은 뒤 다시 연결하십시오.")
            .arg(who, lock);
    }
    case CommFault::LockUnreadable:
        return QStringLiteral("잠금 파일 %1을(를) 읽을 수 없어 포트를 열지 않았습니다."
                              " 이 포트를 쓰는 프로그램이 없으면 이 파일을 지운 뒤 (sudo rm %1) 다시 연결하십시오.")
            .arg(error.detail());
    case CommFault::NotALock:
        return QStringLiteral("%1은(는) 잠금 파일이 아니어서 포트를 열지 않았습니다."
                              " 이 포트를 쓰는 프로그램이 없으면 이것을 지운 뒤 (sudo rm -r %1) 다시 연결하십시오.")
            .arg(error.detail());
    case CommFault::StaleLock:
        return QStringLiteral("이미 끝난 프로그램(PID %1)의 잠금 파일 %2이(가) 남아 포트를 열 수 없습니다."
                              " 이 파일을 지운 뒤 (sudo rm %2) 다시 연결하십시오.")
            .arg(error.detail().section(u' ', 0, 0), error.detail().section(u' ', 1));
    case CommFault::NoPermission:
        return QStringLiteral("포트를 열 권한이 없습니다. 사용자를 dialout 그룹에 넣은 뒤"
                              " (sudo usermod -aG dialout $USER) 다시 로그인하십시오.");
    default:
        return QStringLiteral("포트를 열 수 없습니다 (%1).").arg(error.detail());
    }
}

} // namespace

QString portOpened(const QString &device)
{
    return QStringLiteral("통신포트가 정상적으로 열렸읍니다.\n%1").arg(device);
}

QString portNotOpened(const QString &device, const QString &reason)
{
    return QStringLiteral("통신 포트가 정상적으로 열리지 않았읍니다.\n%1\n%2").arg(device, reason);
}

QString downloaded()
{
    return QStringLiteral("설정값이 다운로드 되었습니다");
}

QString deviceLost(const QString &device)
{
    return QStringLiteral("통신 장치와의 연결이 끊어졌습니다 (%1).\n"
                          "장치와 케이블을 다시 연결한 뒤 \"Connect\"를 누르십시오.")
        .arg(device);
}

QString unknownFailure()
{
    return QStringLiteral("알 수 없는 오류로 작업을 멈추었습니다.");
}

QString describe(const CommError &error)
{
    switch (error.fault()) {
    case CommFault::BadSettings:
        return QStringLiteral("통신 설정 \"%1\"을(를) 알 수 없습니다.").arg(error.detail());
    case CommFault::NotOpen:
        return QStringLiteral("통신 포트가 열려 있지 않아 아무것도 보내지 않았습니다.\n"
                              "\"Connect\"를 눌러 포트를 연 뒤 다시 보내십시오.");
    case CommFault::WriteFailed:
        return QStringLiteral("통신 포트에 쓰지 못했습니다 (%1).").arg(error.detail());
    case CommFault::SendTimeout:
        return QStringLiteral("보낼 데이터가 제시간에 나가지 않았습니다 (%1바이트 남음).\n"
                              "케이블과 장치를 확인하십시오.")
            .arg(error.detail());
    case CommFault::DeviceLost:
        return deviceLost(error.device());
    default:
        return portNotOpened(error.device(), openReason(error));
    }
}

QString describe(const FieldOverflow &overflow)
{
    const QString where = overflow.field() == Field::Count
                              ? fieldName(overflow.field())
                              : rowName(overflow.row()) + QLatin1Char(' ') + fieldName(overflow.field());
    return QStringLiteral("%1 값 \"%2\"은(는) 보낼 수 없습니다.\n"
                          "허용 범위는 0 ~ %3입니다.\n"
                          "아무것도 보내지 않았습니다. 값을 고친 뒤 다시 보내십시오.")
        .arg(where, shortened(overflow.text()))
        .arg(overflow.high());
}

} // namespace messages

void showMessage(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}
