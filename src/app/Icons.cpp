// The tool bar's pictures: a funnel, a stack of books, a recipe card, a printer, a door.
#include "app/Icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace larderly {

namespace {
QPixmap Draw(IconKind kind, bool disabled) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    auto col = [disabled](QColor c) { return disabled ? QColor(160, 160, 160) : c; };
    QPen outline(col(QColor(40, 40, 40)), 1.5);
    p.setPen(outline);
    switch (kind) {
    case IconKind::Filter: {
        QPainterPath funnel;
        funnel.moveTo(3, 4);
        funnel.lineTo(29, 4);
        funnel.lineTo(19, 17);
        funnel.lineTo(19, 28);
        funnel.lineTo(13, 25);
        funnel.lineTo(13, 17);
        funnel.closeSubpath();
        p.setBrush(col(QColor(70, 130, 200)));
        p.drawPath(funnel);
        break;
    }
    case IconKind::Books: {
        const QColor colours[3] = {QColor(190, 50, 50), QColor(50, 140, 70), QColor(60, 90, 180)};
        for (int i = 0; i < 3; ++i) {
            p.setBrush(col(colours[i]));
            p.drawRect(QRectF(4 + i * 8, 6 + (i % 2) * 2, 7, 22 - (i % 2) * 2));
            p.drawLine(QPointF(5 + i * 8, 11 + (i % 2) * 2), QPointF(10 + i * 8, 11 + (i % 2) * 2));
        }
        p.setBrush(col(QColor(150, 100, 50)));
        p.drawRect(QRectF(2, 28, 28, 2));
        break;
    }
    case IconKind::Recipes: {
        p.setBrush(col(QColor(255, 250, 225)));
        p.drawRect(QRectF(5, 3, 20, 26));
        p.setPen(QPen(col(QColor(120, 120, 120)), 1));
        for (int y = 9; y <= 24; y += 4)
            p.drawLine(QPointF(8, y), QPointF(22, y));
        p.setPen(outline);
        p.setBrush(col(QColor(230, 170, 40)));
        QPolygonF pencil;
        pencil << QPointF(27, 10) << QPointF(30, 13) << QPointF(19, 26) << QPointF(15, 27)
               << QPointF(16, 23);
        p.drawPolygon(pencil);
        break;
    }
    case IconKind::Print: {
        p.setBrush(col(QColor(250, 250, 250)));
        p.drawRect(QRectF(9, 3, 14, 10));
        p.setBrush(col(QColor(120, 120, 130)));
        p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);
        p.setBrush(col(QColor(250, 250, 250)));
        p.drawRect(QRectF(9, 20, 14, 9));
        p.setBrush(col(QColor(80, 200, 80)));
        p.drawEllipse(QPointF(25, 15.5), 1.5, 1.5);
        break;
    }
    case IconKind::Close: {
        p.setBrush(col(QColor(150, 100, 60)));
        p.drawRect(QRectF(7, 3, 16, 26));
        p.setBrush(col(QColor(230, 200, 80)));
        p.drawEllipse(QPointF(19, 16), 1.5, 1.5);
        p.setPen(QPen(col(QColor(200, 40, 40)), 2.5));
        p.drawLine(QPointF(24, 16), QPointF(30, 16));
        p.drawLine(QPointF(27, 13), QPointF(30, 16));
        p.drawLine(QPointF(27, 19), QPointF(30, 16));
        break;
    }
    case IconKind::Strip:
        break;
    }
    return pm;
}
} // namespace

QIcon MakeIcon(IconKind kind) {
    QIcon icon;
    icon.addPixmap(Draw(kind, false), QIcon::Normal);
    icon.addPixmap(Draw(kind, true), QIcon::Disabled);
    return icon;
}

QPixmap MakeWelcomeStrip(int width, int height) {
    QPixmap pm(width, height);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, QColor(200, 60, 40));
    g.setColorAt(1, QColor(240, 170, 60));
    p.fillRect(pm.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    // A column of plates with a fork and knife.
    for (int y = 40; y + 40 < height; y += 90) {
        QPointF c(width / 2.0, y + 20);
        p.setPen(QPen(QColor(255, 255, 255, 220), 2));
        p.setBrush(QColor(255, 255, 255, 90));
        p.drawEllipse(c, width / 3.0, width / 3.0);
        p.drawEllipse(c, width / 5.0, width / 5.0);
        p.drawLine(QPointF(c.x() - width / 2.4, c.y() - 15),
                   QPointF(c.x() - width / 2.4, c.y() + 15));
        p.drawLine(QPointF(c.x() + width / 2.4, c.y() - 15),
                   QPointF(c.x() + width / 2.4, c.y() + 15));
    }
    return pm;
}

} // namespace larderly
