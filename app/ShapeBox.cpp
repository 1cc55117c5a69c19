#include "app/ShapeBox.h"

#include <QPainter>

ShapeBox::ShapeBox(QColor fill, QColor outline, int outlineWidth, QWidget *parent)
    : QWidget(parent), m_fill(fill), m_outline(outline), m_outlineWidth(outlineWidth)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void ShapeBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_outline);
    painter.fillRect(rect().adjusted(m_outlineWidth, m_outlineWidth, -m_outlineWidth, -m_outlineWidth),
                     m_fill);
}
