#include "app/Look.h"

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
};

} // namespace

QString installLook()
{
    QString chosen;
    const QStringList installed = QFontDatabase::families();
    for (const char *face : {"NanumGothic", "UnDotum", "Noto Sans CJK KR"}) {
        if (installed.contains(QLatin1String(face))) {
            chosen = QLatin1String(face);
            QFont::insertSubstitution(QStringLiteral("굴림"), chosen);
            break;
        }
    }
    QApplication::setStyle(new WindowStyle);
    QApplication::setFont(QFont(QStringLiteral("굴림"), 9));
    return chosen;
}
