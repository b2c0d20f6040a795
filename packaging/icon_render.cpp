// Renders the application icon (SVG) into a square PNG of the given size,
// at build time: icon_render IN.svg SIZE OUT.png. Exit 0 on success, 1 when
// the SVG cannot be read or the PNG cannot be written, 2 on a bad command line.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "Usage: icon_render IN.svg SIZE OUT.png\n");
        return 2;
    }
    const int size = std::atoi(argv[2]);
    if (size < 8 || size > 1024) {
        std::fprintf(stderr, "icon_render: SIZE must be between 8 and 1024 pixels, not %s.\n", argv[2]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "icon_render: cannot read the SVG file %s.\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
    }
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "icon_render: cannot write %s; check the folder exists and is writable.\n", argv[3]);
        return 1;
    }
    return 0;
}
