// tonewarp-skin-render IN.svg OUT.png SCALE
// Renders an SVG picture at SCALE times its own size (its width and height)
// into a PNG with an alpha channel. Used at build time for the bundled skins.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tonewarp-skin-render IN.svg OUT.png SCALE\n");
        return 2;
    }
    const int scale = std::atoi(argv[3]);
    if (scale < 1 || scale > 8) {
        std::fprintf(stderr, "The scale must be 1 to 8, not \"%s\".\n", argv[3]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    const QSize size = svg.defaultSize();
    if (!svg.isValid() || size.isEmpty() || size.width() > 1024 || size.height() > 1024) {
        std::fprintf(stderr, "%s is not an SVG picture this tool can render; check that it opens in an SVG viewer.\n",
                     argv[1]);
        return 1;
    }
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        svg.render(&p, QRectF(QPointF(0, 0), QSizeF(size * scale)));
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "%s could not be written; check that its folder exists and is writable.\n", argv[2]);
        return 1;
    }
    return 0;
}
