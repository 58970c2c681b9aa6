// Draws the toolbar images into this folder (16×16 and @2x 32×32 PNGs; the
// program's icon comes from data/icons/render.sh). Run once after a change;
// the PNGs are kept in the repository and compiled into the program as Qt
// resources:
//   g++ -std=c++20 -fPIC draw_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw_icons
//   QT_QPA_PLATFORM=offscreen /tmp/draw_icons .
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

const QColor kOutline(60, 60, 70);

void arrow(QPainter& p, double x, bool left) {
    QPainterPath t;
    if (left) {
        t.moveTo(x + 5, 3.5);
        t.lineTo(x + 0.5, 8);
        t.lineTo(x + 5, 12.5);
    } else {
        t.moveTo(x + 0.5, 3.5);
        t.lineTo(x + 5, 8);
        t.lineTo(x + 0.5, 12.5);
    }
    t.closeSubpath();
    p.setPen(QPen(QColor(20, 70, 150), 0.8));
    p.setBrush(QColor(50, 120, 210));
    p.drawPath(t);
}

void bar(QPainter& p, double x) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 70, 150));
    p.drawRect(QRectF(x, 3.5, 1.6, 9));
}

const std::vector<std::pair<const char*, std::function<void(QPainter&)>>> kIcons = {
    {"open", [](QPainter& p) {
         p.setPen(QPen(QColor(150, 110, 20), 0.8));
         p.setBrush(QColor(235, 190, 70));
         p.drawRect(QRectF(1.5, 3.5, 5, 2));
         p.drawRect(QRectF(1.5, 4.5, 11, 9));
         QPainterPath flap;
         flap.moveTo(3.5, 7.5);
         flap.lineTo(15, 7.5);
         flap.lineTo(12.5, 13.5);
         flap.lineTo(1.5, 13.5);
         flap.closeSubpath();
         p.setBrush(QColor(250, 215, 110));
         p.drawPath(flap);
     }},
    {"save", [](QPainter& p) {
         p.setPen(QPen(QColor(20, 50, 110), 0.8));
         p.setBrush(QColor(50, 100, 190));
         p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1, 1);
         p.setBrush(Qt::white);
         p.drawRect(QRectF(4, 1.5, 8, 5.5));
         p.setBrush(QColor(200, 205, 215));
         p.drawRect(QRectF(4.5, 9.5, 7, 5));
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(50, 100, 190));
         p.drawRect(QRectF(9.5, 10.5, 1.5, 3));
     }},
    {"print", [](QPainter& p) {
         p.setPen(QPen(kOutline, 0.8));
         p.setBrush(Qt::white);
         p.drawRect(QRectF(4.5, 1.5, 7, 5));
         p.setBrush(QColor(170, 175, 185));
         p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1, 1);
         p.setBrush(Qt::white);
         p.drawRect(QRectF(4.5, 10.5, 7, 4));
         p.setPen(QPen(QColor(120, 120, 130), 0.7));
         p.drawLine(QPointF(5.5, 12), QPointF(10.5, 12));
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(60, 180, 60));
         p.drawEllipse(QRectF(11.5, 7.8, 1.6, 1.6));
     }},
    {"addrow", [](QPainter& p) {
         p.setPen(QPen(kOutline, 0.8));
         p.setBrush(Qt::white);
         p.drawRect(QRectF(0.5, 1.5, 12, 10));
         p.setBrush(QColor(200, 210, 230));
         p.drawRect(QRectF(0.5, 1.5, 12, 3));
         p.drawLine(QPointF(0.5, 8), QPointF(12.5, 8));
         p.drawLine(QPointF(5, 1.5), QPointF(5, 11.5));
         p.setPen(QPen(QColor(20, 110, 30), 0.8));
         p.setBrush(QColor(50, 170, 60));
         QPainterPath plus;
         plus.addRect(QRectF(11, 7.5, 2.5, 8));
         plus.addRect(QRectF(8.25, 10.25, 8, 2.5));
         plus.setFillRule(Qt::WindingFill);
         p.drawPath(plus.simplified());
     }},
    {"backmonth", [](QPainter& p) { bar(p, 1); arrow(p, 3, true); arrow(p, 8.5, true); }},
    {"backweek", [](QPainter& p) { arrow(p, 5, true); }},
    {"lastmonday", [](QPainter& p) {
         p.setPen(QPen(kOutline, 0.8));
         p.setBrush(Qt::white);
         p.drawRect(QRectF(1.5, 2.5, 13, 12));
         p.setBrush(QColor(200, 60, 50));
         p.drawRect(QRectF(1.5, 2.5, 13, 3));
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(150, 155, 165));
         for (int r = 0; r < 3; ++r)
             for (int c = 0; c < 4; ++c) p.drawRect(QRectF(3 + c * 3, 7 + r * 2.5, 1.6, 1.4));
         p.setBrush(QColor(50, 120, 210));
         p.drawRect(QRectF(2.4, 6.4, 2.8, 2.6));
     }},
    {"fwdweek", [](QPainter& p) { arrow(p, 6, false); }},
    {"fwdmonth", [](QPainter& p) { arrow(p, 2, false); arrow(p, 7.5, false); bar(p, 13.4); }},
};

void save(const QString& dir, const QString& name, int side, const std::function<void(QPainter&)>& draw) {
    QImage img(side, side, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 16.0, side / 16.0);
    draw(p);
    p.end();
    img.save(dir + "/" + name);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QString dir = argc > 1 ? argv[1] : ".";
    for (const auto& [name, draw] : kIcons) {
        save(dir, QString(name) + ".png", 16, draw);
        save(dir, QString(name) + "@2x.png", 32, draw);
    }
    return 0;
}
