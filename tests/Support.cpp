#include "tests/Support.h"

#include "serial/ComDevice.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QPushButton>
#include <QElapsedTimer>

#include <cerrno>

#include <poll.h>
#include <unistd.h>

WindowFixture::WindowFixture()
    : window([this](int n) { return n == 1 ? QString::fromStdString(pty->slavePath()) : comDevicePath(n, emptyDev.path()); })
{
}

std::unique_ptr<Pty> WindowFixture::newPty()
{
    auto pty = std::make_unique<Pty>();
    const std::string error = pty->open();
    if (!error.empty())
        qFatal("no pseudo-terminal: %s", error.c_str());
    return pty;
}

QList<SeenBox> WindowFixture::connect(int listIndex)
{
    window.Combo1->setCurrentIndex(listIndex);
    return ::click(window.cmdConnect);
}

QByteArray WindowFixture::read(int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && clock.elapsed() < timeoutMs) {
        pollfd fd{pty->master(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(timeoutMs - clock.elapsed())) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(pty->master(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<qsizetype>(n));
    }
    return got;
}

void WindowFixture::write(const QByteArray &data)
{
    // The program reads on this same thread: when the line is full, let its
    // event loop run instead of blocking both sides.
    QElapsedTimer clock;
    clock.start();
    qsizetype done = 0;
    while (done < data.size() && clock.elapsed() < 5000) {
        const ssize_t n = ::write(pty->master(), data.constData() + done, static_cast<size_t>(data.size() - done));
        if (n > 0)
            done += n;
        else if (errno != EAGAIN)
            return;
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

QByteArray startFrame()
{
    return QByteArray("S") + QByteArray(25, '\0') + QByteArray("\r");
}
