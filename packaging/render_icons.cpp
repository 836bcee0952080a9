// Writes the program's icon for installation, from the same shape table the window icon is drawn
// from: ROOT/scalable/apps/ID.svg and ROOT/NxN/apps/ID.png for every size given.
//   render_icons ROOT ID SIZE...
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>

#include "qt/window/window_picture.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: render_icons ROOT ID SIZE...\n", stderr);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString id = QString::fromLocal8Bit(argv[2]);
    const auto folder = [&](const QString& name) {
        const QString path = root + QLatin1Char('/') + name + QStringLiteral("/apps");
        QDir().mkpath(path);
        return path + QLatin1Char('/') + id;
    };
    QFile svg(folder(QStringLiteral("scalable")) + QStringLiteral(".svg"));
    if (!svg.open(QIODevice::WriteOnly) || svg.write(cat::PictureSvg()) < 0) {
        std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString png = folder(QStringLiteral("%1x%1").arg(size)) + QStringLiteral(".png");
        if (size <= 0 || !cat::RenderPicture(size).save(png, "PNG")) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(png));
            return 1;
        }
    }
    return 0;
}
