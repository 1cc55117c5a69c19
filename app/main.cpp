#include "app/EndOnSignal.h"
#include "app/Look.h"
#include "app/frmQuarlin.h"
#include "serial/Platform.h"

#include <QApplication>
#include <QIcon>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace {

[[noreturn]] void noDisplay()
{
    std::fputs("quarlin: 화면을 찾을 수 없습니다 (no display). 데스크톱 세션에서 실행하십시오.\n", stderr);
    std::_Exit(1);
}

// Qt ends the process with a core dump when it reaches no display (none set,
// or one that does not answer): say what is wrong and exit calmly instead.
void startupMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return;
    }
    noDisplay();
}

// A display that takes the connection and then never answers (a dead SSH
// forwarding) would hold the start for good: give it a few seconds.
class StartWatchdog
{
public:
    StartWatchdog()
        : m_thread([this] {
              std::unique_lock lock(m_mutex);
              if (!m_woken.wait_for(lock, std::chrono::seconds(5), [this] { return m_started; }))
                  noDisplay();
          })
    {
    }
    ~StartWatchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_started = true;
        }
        m_woken.notify_one();
        m_thread.join();
    }
    StartWatchdog(const StartWatchdog &) = delete;
    StartWatchdog &operator=(const StartWatchdog &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
    bool m_started = false;
    std::thread m_thread;
};

std::unique_ptr<QApplication> startApplication(int &argc, char *argv[])
{
#ifndef Q_OS_WIN // Windows has no display server that could hang the start
    const StartWatchdog watchdog;
#endif
    qInstallMessageHandler(startupMessage);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(nullptr);
    return app;
}

#ifdef __ELF__
// The libraries' own initialisers take much of the start (Qt 6.8's up to
// 20 ms), and a logout then must end the program as calmly as later: the
// signals are taken before any of them runs.
void takeSignalsFirst(int, char **, char **)
{
    platform::endAtOnceOnTerminationSignal();
}
[[gnu::used, gnu::section(".preinit_array")]] void (*endBeforeLibraries)(int, char **, char **) = takeSignalsFirst;
#endif

} // namespace

int main(int argc, char *argv[])
{
    const auto app = startApplication(argc, argv);

    QApplication::setApplicationName(QStringLiteral("Quarlin_01"));
    QApplication::setApplicationVersion(QStringLiteral(QUARLIN_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("quarlin"));
    installLook();

    int status = 0;
    {
        frmQuarlin window;
#ifndef Q_OS_WIN // there the window takes the exe's icon (IDI_ICON1) in every size
        window.setWindowIcon(QIcon::fromTheme(QStringLiteral("quarlin"), QIcon(QStringLiteral(":/quarlin-48.png"))));
#endif
        endOnTerminationSignals(window);
        window.show();
        status = QApplication::exec();
    }
    platform::endAsRequested();
    return status;
}
