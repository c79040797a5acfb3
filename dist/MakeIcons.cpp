// Writes the program's icon into a hicolor icon theme folder, at build time:
//   make-icons OUTDIR  ->  OUTDIR/scalable/apps/sorvane.svg, OUTDIR/NxN/apps/sorvane.png
// drawn by the program's own icon code (src/app/AppIcon.cpp).

#include <cstdio>

#include <QDir>
#include <QFile>

#include "app/AppIcon.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make-icons OUTDIR\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString svgDir = out + QStringLiteral("/scalable/apps");
    QFile svg(svgDir + QStringLiteral("/sorvane.svg"));
    if (!QDir().mkpath(svgDir) || !svg.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        svg.write(sorvane::appIconSvg()) < 0 || !svg.flush()) {
        std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = out + QStringLiteral("/%1x%1/apps").arg(size);
        const QString file = dir + QStringLiteral("/sorvane.png");
        if (!QDir().mkpath(dir) || !sorvane::drawAppIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
