// Renders Brindle's SVG icon sources to PNG with QSvgRenderer.
//
//   rendericons <size> <in.svg> <out.png>
//       one icon, size x size pixels, transparent background
//   rendericons --sheet <size> <out.png> <in.svg>...
//       a contact sheet: every icon at <size> on a white row and on a dark row,
//       for checking the set by eye
//   rendericons --sheet <size>x<zoom> <out.png> <in.svg>...
//       the same, each pixel blown up to zoom x zoom to see the pixels
//
// Built by src/gui/images/render-icons.sh; the CMake build leaves it out.
#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QStringList>
#include <QSvgRenderer>
#include <cstdio>

namespace {

bool paint(QPainter &painter, const QString &svg, const QRectF &box)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "rendericons: cannot read %s\n", qPrintable(svg));
        return false;
    }
    renderer.render(&painter, box);
    return true;
}

int renderOne(int size, const QString &svg, const QString &png)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const bool ok = paint(painter, svg, QRectF(0, 0, size, size));
    painter.end();
    if (!ok)
        return 1;
    if (!image.convertToFormat(QImage::Format_ARGB32).save(png, "PNG")) {
        std::fprintf(stderr, "rendericons: cannot write %s\n", qPrintable(png));
        return 1;
    }
    return 0;
}

int renderSheet(int size, int zoom, const QString &png, const QStringList &svgs)
{
    const int cell = size * zoom + 12;
    const int width = cell * svgs.size() + 12;
    QImage image(width, cell * 2 + 12, QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width, cell + 6, Qt::white);
    painter.fillRect(0, cell + 6, width, cell + 6, QColor(0x2b, 0x2d, 0x31));
    painter.setRenderHint(QPainter::Antialiasing);
    int failures = 0;
    for (int i = 0; i < svgs.size(); ++i) {
        const int x = 12 + i * cell;
        for (int row = 0; row < 2; ++row) {
            // Through a pixmap-sized image, so the sheet shows the icon as rendered.
            QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
            icon.fill(Qt::transparent);
            QPainter p(&icon);
            p.setRenderHint(QPainter::Antialiasing);
            if (!paint(p, svgs.at(i), QRectF(0, 0, size, size)))
                ++failures;
            p.end();
            painter.drawImage(QRect(x, 12 + row * (cell + 6), size * zoom, size * zoom), icon);
        }
    }
    painter.end();
    if (!image.save(png, "PNG"))
        ++failures;
    return failures ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Painting into a QImage needs no display; the icons draw no text.
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() >= 4 && args.at(0) == QLatin1String("--sheet"))
    {
        const QStringList size = args.at(1).split(QLatin1Char('x'));
        const int zoom = size.size() > 1 ? qMax(1, size.at(1).toInt()) : 1;
        return renderSheet(size.at(0).toInt(), zoom, args.at(2), args.mid(3));
    }
    if (args.size() == 3 && args.at(0).toInt() > 0)
        return renderOne(args.at(0).toInt(), args.at(1), args.at(2));
    std::fprintf(stderr,
                 "usage: rendericons <size> <in.svg> <out.png>\n"
                 "       rendericons --sheet <size>[x<zoom>] <out.png> <in.svg>...\n");
    return 2;
}
