// Draws the application icon: the crosspoint grid of a matrix switcher, four
// inputs across and four outputs down, with one lit crosspoint per output for
// the input it carries. The scalable SVG and every PNG of the hicolor theme
// come from the same layout, so they cannot drift apart.
//
// Usage: draw-app-icon <hicolor-dir> <icon-name>
//   writes <hicolor-dir>/scalable/apps/<icon-name>.svg and
//   <hicolor-dir>/<N>x<N>/apps/<icon-name>.png for N = 48, 64, 128, 256.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace {

constexpr int portCount = 4;
// The input each output shows: one lit crosspoint per column, no two in a
// row, so the picture reads as routing rather than as a pattern.
constexpr std::array<int, portCount> routeOfOutput = {2, 0, 3, 1};
constexpr std::array<int, 4> pngSizes = {48, 64, 128, 256};

const QColor TileTop(0x2f, 0x6a, 0xa3);
const QColor TileBottom(0x15, 0x33, 0x5a);
const QColor LineColor(0xb8, 0xcf, 0xea);
const QColor DotColor(0xff, 0xb3, 0x00);

// Geometry in pixels of one icon size, designed on a 256 grid. Smaller sizes
// round line widths and the grid pitch to whole, even pixels so that the
// lines stay sharp at 48 px instead of blurring into the tile.
struct Layout
{
    qreal size;
    QRectF tile;
    qreal cornerRadius;
    qreal lineWidth;
    qreal lineStart;
    qreal lineEnd;
    std::array<qreal, portCount> at; // centre of each input row and output column
    qreal dotRadius;
};

Layout layout(int size)
{
    const qreal k = size / 256.0;
    Layout l;
    l.size = size;
    l.tile = QRectF(16 * k, 16 * k, 224 * k, 224 * k);
    l.cornerRadius = 44 * k;
    l.lineWidth = std::max<qreal>(2, 2 * std::round(4 * k));
    const qreal pitch = 2 * std::round(20 * k);
    for (int i = 0; i < portCount; ++i)
        l.at[i] = size / 2.0 + (i - 1.5) * pitch;
    l.lineStart = std::round(size / 2.0 - 84 * k);
    l.lineEnd = size - l.lineStart;
    l.dotRadius = 17 * k;
    return l;
}

QImage drawPng(int size)
{
    const Layout l = layout(size);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient tile(l.tile.topLeft(), l.tile.bottomLeft());
    tile.setColorAt(0, TileTop);
    tile.setColorAt(1, TileBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(l.tile, l.cornerRadius, l.cornerRadius);

    p.setPen(QPen(LineColor, l.lineWidth, Qt::SolidLine, Qt::RoundCap));
    for (const qreal at : l.at) {
        p.drawLine(QPointF(l.lineStart, at), QPointF(l.lineEnd, at));
        p.drawLine(QPointF(at, l.lineStart), QPointF(at, l.lineEnd));
    }

    p.setPen(Qt::NoPen);
    p.setBrush(DotColor);
    for (int output = 0; output < portCount; ++output)
        p.drawEllipse(QPointF(l.at[output], l.at[routeOfOutput[output]]), l.dotRadius, l.dotRadius);
    p.end();
    return image;
}

QString svgNumber(qreal v)
{
    return QString::number(v, 'g', 6);
}

QString drawSvg()
{
    const Layout l = layout(256);
    QStringList lines;
    lines << QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='256' height='256'"
                            " viewBox='0 0 256 256'>")
          << QStringLiteral("  <defs>")
          << QStringLiteral("    <linearGradient id='tile' x1='0' y1='0' x2='0' y2='1'>")
          << QStringLiteral("      <stop offset='0' stop-color='%1'/>").arg(TileTop.name())
          << QStringLiteral("      <stop offset='1' stop-color='%1'/>").arg(TileBottom.name())
          << QStringLiteral("    </linearGradient>") << QStringLiteral("  </defs>")
          << QStringLiteral("  <rect x='%1' y='%2' width='%3' height='%4' rx='%5'"
                            " fill='url(#tile)'/>")
                 .arg(svgNumber(l.tile.x()), svgNumber(l.tile.y()), svgNumber(l.tile.width()),
                      svgNumber(l.tile.height()), svgNumber(l.cornerRadius))
          << QStringLiteral("  <g stroke='%1' stroke-width='%2' stroke-linecap='round'>")
                 .arg(LineColor.name(), svgNumber(l.lineWidth));
    for (const qreal at : l.at) {
        lines << QStringLiteral("    <line x1='%1' y1='%2' x2='%3' y2='%2'/>")
                     .arg(svgNumber(l.lineStart), svgNumber(at), svgNumber(l.lineEnd));
        lines << QStringLiteral("    <line x1='%1' y1='%2' x2='%1' y2='%3'/>")
                     .arg(svgNumber(at), svgNumber(l.lineStart), svgNumber(l.lineEnd));
    }
    lines << QStringLiteral("  </g>") << QStringLiteral("  <g fill='%1'>").arg(DotColor.name());
    for (int output = 0; output < portCount; ++output)
        lines << QStringLiteral("    <circle cx='%1' cy='%2' r='%3'/>")
                     .arg(svgNumber(l.at[output]), svgNumber(l.at[routeOfOutput[output]]),
                          svgNumber(l.dotRadius));
    lines << QStringLiteral("  </g>") << QStringLiteral("</svg>") << QString();
    return lines.join(QLatin1Char('\n'));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    // No application object: painting shapes into an image needs no platform.
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <hicolor-dir> <icon-name>\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);

    QStringList failed;
    const QString svgPath = QStringLiteral("%1/scalable/apps/%2.svg").arg(dir, name);
    if (!writeFile(svgPath, drawSvg().toUtf8()))
        failed << svgPath;
    for (const int size : pngSizes) {
        const QString path = QStringLiteral("%1/%2x%2/apps/%3.png").arg(dir).arg(size).arg(name);
        if (!QDir().mkpath(QFileInfo(path).path()) || !drawPng(size).save(path, "PNG"))
            failed << path;
    }
    for (const QString &path : failed)
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return failed.isEmpty() ? 0 : 1;
}
