#include "tests/WindowFixture.h"

#include "serial/ComDevice.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <sys/resource.h>

WindowFixture::WindowFixture()
    : window([this](int n) { return n == 1 ? pty->slavePath() : comDevicePath(n, emptyDev.path()); })
{
}

QList<SeenBox> WindowFixture::connect(int listIndex)
{
    window.Combo1->setCurrentIndex(listIndex);
    return click(window.cmdConnect);
}

QList<SeenBox> WindowFixture::click(QWidget *button)
{
    BoxCatcher catcher;
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    return catcher.boxes;
}

void WindowFixture::plugInNewDevice()
{
    pty = std::make_unique<PtyPair>();
}

QByteArray frameBytes(std::initializer_list<int> values)
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

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
