#include "bench/Benches.h"

#include "app/Look.h"
#include "app/frmQuarlin.h"
#include "serial/MSComm.h"
#include "serial/Module1.h"
#include "tests/BoxCatcher.h"
#include "tools/Pty.h"
#include "timetable/DownloadFrame.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

// The controller's side of the line: plain blocking writes and bounded reads.
void ptyWrite(const Pty &pty, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(pty.master(), data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (errno == EAGAIN) {
            pollfd fd{pty.master(), POLLOUT, 0};
            ::poll(&fd, 1, 100);
        } else {
            return;
        }
    }
}

QByteArray ptyRead(const Pty &pty, int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && clock.elapsed() < timeoutMs) {
        pollfd fd{pty.master(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(timeoutMs - clock.elapsed())) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(pty.master(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<qsizetype>(n));
    }
    return got;
}

std::unique_ptr<Pty> openPty()
{
    auto pty = std::make_unique<Pty>();
    if (!pty->open().empty())
        pty.reset();
    return pty;
}

// 9600 baud, 8N1: ten bit times a byte.
constexpr double kLineBytesPerSecond = 960.0;
constexpr int kPeerReplies = 100;

// Runs the event loop as the program does, ended by a timer rather than by
// polling in steps.
void runLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

ComPathResolver comOneIs(const QString &path)
{
    return [path](int portNumber) { return portNumber == 1 ? path : QString(); };
}

// Shows the window and clicks Connect with COM 1, answering the box. The
// catcher's own timer is gone again when this returns.
bool connectWindow(frmQuarlin &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        note("the window was never exposed");
        return false;
    }
    BoxCatcher catcher;
    QTest::mouseClick(window.cmdConnect, Qt::LeftButton);
    catcher.waitFor(1);
    if (catcher.boxes.size() != 1 || !window.MSComm1->PortOpen()) {
        note("Connect did not open the pty: %s",
             catcher.boxes.isEmpty() ? "no box" : qPrintable(catcher.boxes.first().text));
        return false;
    }
    return true;
}

double secondsBetween(const timespec &from, const timespec &to)
{
    return static_cast<double>(to.tv_sec - from.tv_sec) + static_cast<double>(to.tv_nsec - from.tv_nsec) / 1e9;
}

// Consecutive replies "R", six digits, eighteen letters, byte 4: each record
// differs, so the last one shows how far reception got. The first bytes are
// repeated at the end so any chunk can be written from one place.
std::string replyStream()
{
    std::string stream;
    for (int k = 0; k < kPeerReplies; ++k) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%06d", k);
        stream += 'R';
        stream += digits;
        stream += "abcdefghijklmnopqr";
        stream += '\x04';
    }
    return stream + stream.substr(0, 64);
}

// The controller, in a child process so that its work is not charged to the
// program. Each byte read from control sets the chunk size (0 pauses) and
// restarts the clock; end of file ends the peer. A chunk is written when its
// last byte would have arrived over the line.
[[noreturn]] void runPeer(const Pty &pty, int control, const std::string &stream)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const std::size_t period = stream.size() - 64;
    std::size_t chunk = 0;
    std::size_t at = 0;
    std::uint64_t sent = 0;
    timespec start{};
    for (;;) {
        pollfd fd{control, POLLIN, 0};
        int ready = 0;
        if (chunk == 0) {
            ready = ::poll(&fd, 1, -1);
        } else {
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            const double due = static_cast<double>(sent + chunk) / kLineBytesPerSecond;
            const double left = std::max(0.0, due - secondsBetween(start, now));
            const auto whole = static_cast<time_t>(left);
            const timespec wait{whole, static_cast<long>((left - static_cast<double>(whole)) * 1e9)};
            ready = ::ppoll(&fd, 1, &wait, nullptr);
        }
        if (ready < 0 && errno != EINTR)
            ::_exit(1);
        if (ready > 0) {
            unsigned char command = 0;
            if (::read(control, &command, 1) != 1)
                ::_exit(0);
            chunk = std::min<std::size_t>(command, 64);
            sent = 0;
            ::clock_gettime(CLOCK_MONOTONIC, &start);
            continue;
        }
        if (ready == 0 && chunk > 0) {
            ptyWrite(pty, stream.data() + at, chunk);
            at = (at + chunk) % period;
            sent += chunk;
        }
    }
}

struct IdleFigures
{
    double cpuPercent = 0;
    double wakeupsPerSecond = 0;
};

IdleFigures idleSample(int ms)
{
    const double cpuBefore = processCpuSeconds();
    const long switchesBefore = voluntarySwitches();
    QElapsedTimer wall;
    wall.start();
    runLoop(ms);
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    return {100.0 * (processCpuSeconds() - cpuBefore) / seconds,
            static_cast<double>(voluntarySwitches() - switchesBefore) / seconds};
}

// The least any reader of this stream costs here: poll() and read() on the
// same pty in the same process, with no event loop around them.
IdleFigures floorSample(const QString &path, int ms)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return {-1, -1};
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    const double cpuBefore = processCpuSeconds();
    const long switchesBefore = voluntarySwitches();
    QElapsedTimer wall;
    wall.start();
    char buffer[1024];
    for (qint64 left = ms; left > 0; left = ms - wall.elapsed()) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left)) > 0 && ::read(fd, buffer, sizeof buffer) < 0 && errno != EAGAIN)
            break;
    }
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    ::close(fd);
    return {100.0 * (processCpuSeconds() - cpuBefore) / seconds,
            static_cast<double>(voluntarySwitches() - switchesBefore) / seconds};
}

// Bytes that arrived on the program's port but have not been read: they pile
// up if the program stops reading.
int unreadBytes(int fd)
{
    int pending = 0;
    return ::ioctl(fd, FIONREAD, &pending) == 0 ? pending : -1;
}

// With a floor path, each run of the program is followed by a run of the
// bare reader while the program's port is closed, so both see the same load.
void reportIdle(const std::string &name, int runs, int ms, frmQuarlin *window = nullptr,
                const QString &floorPath = {})
{
    std::vector<double> cpu, wakeups, floorCpu, floorWakeups;
    int mostUnread = 0;
    // Only looked at, never read: the program's reads empty it.
    const int watch =
        floorPath.isEmpty() ? -1 : ::open(floorPath.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    for (int run = 0; run < runs; ++run) {
        const IdleFigures figures = idleSample(ms);
        cpu.push_back(figures.cpuPercent);
        wakeups.push_back(figures.wakeupsPerSecond);
        const int unread = watch >= 0 ? unreadBytes(watch) : 0;
        mostUnread = unread < 0 ? 1 << 20 : std::max(mostUnread, unread);
        note("  %s run %d: %.3f%% CPU, %.0f wake-ups/s, %d bytes unread, last record \"%s\"", name.c_str(), run + 1,
             figures.cpuPercent, figures.wakeupsPerSecond, unread, qPrintable(Module1::RxRecord));
        if (floorPath.isEmpty())
            continue;
        window->MSComm1->setPortOpen(false);
        const IdleFigures bare = floorSample(floorPath, ms);
        window->MSComm1->setPortOpen(true);
        floorCpu.push_back(bare.cpuPercent);
        floorWakeups.push_back(bare.wakeupsPerSecond);
        note("  %s run %d, bare poll/read: %.3f%% CPU, %.0f wake-ups/s", name.c_str(), run + 1, bare.cpuPercent,
             bare.wakeupsPerSecond);
    }
    if (watch >= 0)
        ::close(watch);
    report(name + "_cpu", median(cpu));
    report(name + "_cpu_max", *std::max_element(cpu.begin(), cpu.end()));
    report(name + "_wakeups", median(wakeups));
    if (floorPath.isEmpty())
        return;
    report(name + "_floor_cpu", median(floorCpu));
    report(name + "_floor_wakeups", median(floorWakeups));
    // A reply is at most a few reads long; more than that waiting means reading has stalled.
    report(name + "_receiving", mostUnread <= 64 && Module1::RxRecord.startsWith(kRecordStart) ? 1 : 0);
}

bool sendCommand(int control, unsigned char command)
{
    return ::write(control, &command, 1) == 1;
}

TimeTableTexts textsOf(frmQuarlin &window)
{
    TimeTableTexts texts;
    for (std::size_t row = 0; row < kRowCount; ++row)
        texts.rows[row] = {window.txt_1_hr[row]->text(), window.txt_1_min[row]->text(),
                           window.txt_1_sec[row]->text()};
    for (int stage = 0; stage < kStageCount; ++stage) {
        const frmQuarlin::Boxes &boxes = window.stageBoxes(stage);
        for (std::size_t j = 0; j < kRelayCount; ++j)
            texts.relays[static_cast<std::size_t>(stage)][j] = boxes[j]->isChecked();
    }
    texts.count = window.txt_cnt->text();
    return texts;
}

} // namespace

int runIdle(int &argc, char **argv, const Options &options)
{
    const int ms = static_cast<int>(options.get("seconds", 5) * 1000);
    const int runs = static_cast<int>(options.get("runs", 3));

    const auto ptyOwner = openPty();
    if (!ptyOwner) {
        note("no pseudo-terminal");
        return 1;
    }
    const Pty &pty = *ptyOwner;
    // Forked before Qt starts any thread.
    const std::string stream = replyStream();
    int control[2];
    if (::pipe2(control, O_CLOEXEC) != 0)
        return 1;
    const pid_t peer = ::fork();
    if (peer < 0)
        return 1;
    if (peer == 0) {
        ::close(control[1]);
        runPeer(pty, control[0], stream);
    }
    ::close(control[0]);

    QApplication app(argc, argv);
    installLook();
    frmQuarlin window(comOneIs(QString::fromStdString(pty.slavePath())));
    if (!connectWindow(window))
        return 1;
    runLoop(1000);

    note("idle (a): connected, nothing received yet");
    reportIdle("idle_a", runs, ms);

    ptyWrite(pty, "x", 1);
    if (!QTest::qWaitFor([&] { return window.MSComm1->RThreshold() == 0; }, 3000)) {
        note("the receive notification never came");
        return 1;
    }
    runLoop(500);
    note("idle (b): reception started, nothing arriving");
    reportIdle("idle_b", runs, ms);

    for (const int chunk : {8, 1}) {
        sendCommand(control[1], static_cast<unsigned char>(chunk));
        runLoop(500);
        const std::string name = chunk == 8 ? "idle_c" : "idle_c1";
        note("idle (c): replies at 960 bytes/s in %d-byte chunks", chunk);
        reportIdle(name, runs, ms, &window, QString::fromStdString(pty.slavePath()));
        sendCommand(control[1], 0);
    }

    ::close(control[1]);
    int status = 0;
    ::waitpid(peer, &status, 0);
    return 0;
}

int runDownload(int &argc, char **argv, const Options &options)
{
    const int runs = static_cast<int>(options.get("runs", 50));

    const auto ptyOwner = openPty();
    if (!ptyOwner) {
        note("no pseudo-terminal");
        return 1;
    }
    const Pty &pty = *ptyOwner;
    QApplication app(argc, argv);
    installLook();
    frmQuarlin window(comOneIs(QString::fromStdString(pty.slavePath())));
    if (!connectWindow(window))
        return 1;
    runLoop(500);

    const DownloadFrame frame = BuildDownloadFrame(ReadTimeTable(textsOf(window)));
    const QByteArray expected(reinterpret_cast<const char *>(frame.data()), static_cast<qsizetype>(frame.size()));

    // Answers the confirmation that follows each download.
    BoxCatcher catcher;
    std::vector<double> latencies;
    int wrong = 0;
    for (int run = 0; run < runs; ++run) {
        std::atomic<bool> listening{false};
        QByteArray got;
        std::chrono::steady_clock::time_point arrived;
        std::thread reader([&] {
            listening = true;
            got = ptyRead(pty, static_cast<int>(kFrameSize), 3000);
            arrived = std::chrono::steady_clock::now();
        });
        while (!listening)
            std::this_thread::yield();
        // Lets the reader settle into poll() before the clock starts.
        runLoop(20);

        const auto boxesBefore = catcher.boxes.size();
        const auto clicked = std::chrono::steady_clock::now();
        QTest::mouseClick(window.Command1, Qt::LeftButton);
        reader.join();

        if (got != expected || catcher.boxes.size() != boxesBefore + 1) {
            ++wrong;
            note("  run %d: got %lld bytes, %lld boxes", run + 1, static_cast<long long>(got.size()),
                 static_cast<long long>(catcher.boxes.size() - boxesBefore));
            continue;
        }
        latencies.push_back(std::chrono::duration<double, std::milli>(arrived - clicked).count());
    }
    report("download_ms", median(latencies));
    report("download_p90_ms", percentile(latencies, 0.9));
    report("download_max_ms", latencies.empty() ? -1 : *std::max_element(latencies.begin(), latencies.end()));
    report("download_runs", static_cast<double>(latencies.size()));
    report("download_wrong", wrong);
    report("line_ms", static_cast<double>(kFrameSize) * 1000.0 / kLineBytesPerSecond);
    return wrong == 0 ? 0 : 1;
}
