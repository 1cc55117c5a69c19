#include "app/Look.h"
#include "app/frmQuarlin.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Without a display Qt aborts with a core dump; say what is wrong instead.
bool displayAvailable()
{
    const auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayAvailable()) {
        std::fputs("quarlin: 화면을 찾을 수 없습니다 (no display). 데스크톱 세션에서 실행하십시오.\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarlin_01"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    installLook();

    frmQuarlin window;
    window.show();
    return QApplication::exec();
}
