#pragma once

#include <QColor>
#include <QWidget>

// A filled rectangle for decoration; takes no input.
class ShapeBox : public QWidget
{
public:
    ShapeBox(QColor fill, QColor outline, int outlineWidth, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill;
    QColor m_outline;
    int m_outlineWidth;
};
