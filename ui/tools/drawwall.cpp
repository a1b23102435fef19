// Draws the illustration of the video-wall help page: one sample picture
// spread over a wall of 4 x 4 screens, with the two totals the operator
// chooses ("screens across" above, "screens down" on the left).
//
// Usage: draw-wall-illustration <output.png>
//
// The image size is fixed because the help text shows it at its natural
// size inside a narrow group box.

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRadialGradient>
#include <QRectF>
#include <QString>

#include <cmath>
#include <cstdio>

namespace {

constexpr int imageWidth = 336;
constexpr int imageHeight = 273;
constexpr int screensAcross = 4;
constexpr int screensDown = 4;

// Room kept free for the captions.
constexpr int captionTop = 40;
constexpr int captionLeft = 42;
constexpr int margin = 6;

const QColor CaptionColor(0x20, 0x20, 0x20);
const QColor DimensionColor(0xc0, 0x10, 0x10);

QFont captionFont()
{
    QFont font(QStringLiteral("WenQuanYi Zen Hei"));
    font.setPixelSize(14);
    font.setBold(true);
    return font;
}

// A landscape that reads well even when cut into small screens: sky, sun,
// two mountain ranges, a lake and a meadow.
void drawScene(QPainter &p, const QRectF &r)
{
    p.save();
    p.setClipRect(r);
    p.setPen(Qt::NoPen);

    QLinearGradient sky(r.topLeft(), QPointF(r.left(), r.top() + r.height() * 0.6));
    sky.setColorAt(0.0, QColor(0x2b, 0x6c, 0xc4));
    sky.setColorAt(1.0, QColor(0xbf, 0xe3, 0xff));
    p.fillRect(r, sky);

    const QPointF sunCentre(r.left() + r.width() * 0.74, r.top() + r.height() * 0.22);
    QRadialGradient sun(sunCentre, r.height() * 0.16);
    sun.setColorAt(0.0, QColor(0xff, 0xf6, 0xb0));
    sun.setColorAt(0.55, QColor(0xff, 0xd8, 0x40));
    sun.setColorAt(1.0, QColor(0xff, 0xd8, 0x40, 0));
    p.setBrush(sun);
    p.drawEllipse(sunCentre, r.height() * 0.16, r.height() * 0.16);

    auto ridge = [&](const QVector<QPointF> &relative, const QColor &top, const QColor &bottom) {
        QPolygonF poly;
        poly << QPointF(r.left(), r.bottom());
        for (const QPointF &pt : relative)
            poly << QPointF(r.left() + pt.x() * r.width(), r.top() + pt.y() * r.height());
        poly << QPointF(r.right(), r.bottom());
        QLinearGradient g(QPointF(0, r.top() + r.height() * 0.3), QPointF(0, r.bottom()));
        g.setColorAt(0.0, top);
        g.setColorAt(1.0, bottom);
        p.setBrush(g);
        p.drawPolygon(poly);
    };
    ridge({{0.0, 0.55},
           {0.12, 0.38},
           {0.25, 0.50},
           {0.40, 0.30},
           {0.55, 0.48},
           {0.68, 0.36},
           {0.82, 0.52},
           {1.0, 0.40}},
          QColor(0x6d, 0x7f, 0x9c), QColor(0x3e, 0x4b, 0x63));
    ridge({{0.0, 0.66},
           {0.18, 0.52},
           {0.33, 0.63},
           {0.50, 0.55},
           {0.70, 0.68},
           {0.86, 0.58},
           {1.0, 0.64}},
          QColor(0x4f, 0x8a, 0x4a), QColor(0x2a, 0x5a, 0x2c));

    // Lake with a lighter band for the reflected sky.
    QLinearGradient lake(QPointF(0, r.top() + r.height() * 0.72), QPointF(0, r.bottom()));
    lake.setColorAt(0.0, QColor(0x8c, 0xc8, 0xf0));
    lake.setColorAt(1.0, QColor(0x2a, 0x6e, 0xb0));
    p.setBrush(lake);
    p.drawEllipse(QRectF(r.left() + r.width() * 0.18, r.top() + r.height() * 0.74, r.width() * 0.62,
                         r.height() * 0.20));

    // Meadow in front.
    QPainterPath meadow;
    meadow.moveTo(r.left(), r.bottom());
    meadow.lineTo(r.left(), r.top() + r.height() * 0.86);
    meadow.cubicTo(QPointF(r.left() + r.width() * 0.3, r.top() + r.height() * 0.80),
                   QPointF(r.left() + r.width() * 0.6, r.top() + r.height() * 0.97),
                   QPointF(r.right(), r.top() + r.height() * 0.88));
    meadow.lineTo(r.right(), r.bottom());
    meadow.closeSubpath();
    p.setBrush(QColor(0x5c, 0xa3, 0x3c));
    p.drawPath(meadow);

    p.restore();
}

// The bezels between the screens, drawn over the picture so that it looks
// like one image shown across many monitors.
void drawScreenGrid(QPainter &p, const QRectF &r)
{
    p.save();
    const qreal cellW = r.width() / screensAcross;
    const qreal cellH = r.height() / screensDown;

    p.setPen(QPen(QColor(0x18, 0x18, 0x18), 3));
    for (int i = 1; i < screensAcross; ++i)
        p.drawLine(QPointF(r.left() + i * cellW, r.top()),
                   QPointF(r.left() + i * cellW, r.bottom()));
    for (int j = 1; j < screensDown; ++j)
        p.drawLine(QPointF(r.left(), r.top() + j * cellH), QPointF(r.right(), r.top() + j * cellH));

    p.setPen(QPen(QColor(0x18, 0x18, 0x18), 4));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
    p.restore();
}

void drawArrowHead(QPainter &p, const QPointF &tip, const QPointF &direction)
{
    const QPointF side(-direction.y(), direction.x());
    QPolygonF head;
    head << tip << tip - direction * 7 + side * 4 << tip - direction * 7 - side * 4;
    p.drawPolygon(head);
}

// A dimension line with arrows at both ends and a gap in the middle for the
// caption.
void drawDimension(QPainter &p, const QPointF &from, const QPointF &to, qreal gap)
{
    p.save();
    p.setPen(QPen(DimensionColor, 1.5));
    p.setBrush(DimensionColor);
    const QPointF delta = to - from;
    const qreal length = std::sqrt(delta.x() * delta.x() + delta.y() * delta.y());
    const QPointF unit = delta / length;
    const QPointF mid = (from + to) / 2;
    p.drawLine(from, mid - unit * gap / 2);
    p.drawLine(mid + unit * gap / 2, to);
    drawArrowHead(p, from, -unit);
    drawArrowHead(p, to, unit);
    p.restore();
}

void drawCaptions(QPainter &p, const QRectF &wall)
{
    p.save();
    p.setFont(captionFont());
    p.setPen(CaptionColor);
    const QFontMetricsF fm(p.font());

    const QString across = QStringLiteral("横向屏总数");
    const qreal acrossWidth = fm.horizontalAdvance(across);
    const qreal acrossY = margin + (captionTop - margin) / 2.0;
    drawDimension(p, QPointF(wall.left(), acrossY), QPointF(wall.right(), acrossY),
                  acrossWidth + 12);
    p.drawText(QRectF(wall.left(), margin, wall.width(), captionTop - margin - 4), Qt::AlignCenter,
               across);

    // Chinese reads naturally top to bottom, so the side caption stacks its
    // characters instead of rotating them.
    const QString down = QStringLiteral("纵向屏总数");
    const qreal lineHeight = fm.height();
    const qreal downHeight = lineHeight * down.size();
    const qreal downX = margin + (captionLeft - margin) / 2.0;
    drawDimension(p, QPointF(downX, wall.top()), QPointF(downX, wall.bottom()), downHeight + 10);
    qreal y = wall.center().y() - downHeight / 2;
    for (const QChar ch : down) {
        p.drawText(QRectF(margin, y, captionLeft - margin - 2, lineHeight), Qt::AlignCenter,
                   QString(ch));
        y += lineHeight;
    }
    p.restore();
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
        return 2;
    }

    QImage image(imageWidth, imageHeight, QImage::Format_RGB32);
    image.fill(Qt::white);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QRectF wall(captionLeft, captionTop, imageWidth - captionLeft - margin,
                      imageHeight - captionTop - margin);
    drawScene(painter, wall);
    drawScreenGrid(painter, wall);
    drawCaptions(painter, wall);
    painter.end();

    if (!image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
