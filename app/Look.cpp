#include "app/Look.h"

#include "serial/Platform.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QProxyStyle>
#include <QStringList>
#include <QStyleFactory>

namespace {

// The relay boxes are 12 pixels high; Fusion's 13-pixel indicator would be cut.
class WindowStyle : public QProxyStyle
{
public:
    WindowStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight)
            return 11;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    // Plain OK buttons, as on Windows. With icons, every message box makes a
    // new QIcon whose pixmap the global QPixmapCache keeps after the box is
    // gone: about 1.7 kB per box until the 10 MB cache is full.
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QString koreanFace(const QString &wanted, const QStringList &installed)
{
    if (installed.contains(wanted))
        return wanted;
    for (const QString &face : platform::koreanFaces()) {
        if (installed.contains(face))
            return face;
    }
    return {};
}

} // namespace

QString installLook()
{
    const QString gulim = QStringLiteral("굴림");
    const QString chosen = koreanFace(gulim, QFontDatabase::families());
    if (!chosen.isEmpty() && chosen != gulim)
        QFont::insertSubstitution(gulim, chosen);
    QApplication::setStyle(new WindowStyle);
    QApplication::setFont(QFont(gulim, 9));
    return chosen;
}
