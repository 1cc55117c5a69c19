#include "app/Look.h"
#include "app/frmQuarlin.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt ends the process with a core dump when it reaches no display (none set,
// or one that does not answer): say what is wrong and exit calmly instead.
void startupMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return;
    }
    std::fputs("quarlin: 화면을 찾을 수 없습니다 (no display). 데스크톱 세션에서 실행하십시오.\n", stderr);
    std::_Exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(startupMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);

    QApplication::setApplicationName(QStringLiteral("Quarlin_01"));
    QApplication::setApplicationVersion(QStringLiteral(QUARLIN_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("quarlin"));
    installLook();

    frmQuarlin window;
#ifndef Q_OS_WIN // there the window takes the exe's icon (IDI_ICON1) in every size
    window.setWindowIcon(QIcon::fromTheme(QStringLiteral("quarlin"), QIcon(QStringLiteral(":/quarlin-48.png"))));
#endif
    window.show();
    return QApplication::exec();
}
