// Build tool: writes the program's icon scaled to one size of the icon theme.
//   quilton_icon_sizes SOURCE.png SIZE TARGET.png
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: quilton_icon_sizes SOURCE SIZE TARGET\n");
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    bool ok = false;
    const int size = QByteArray(argv[2]).toInt(&ok);
    if (source.isNull() || !ok || size < 1) {
        std::fprintf(stderr, "quilton_icon_sizes: cannot read %s or bad size %s\n", argv[1],
                     argv[2]);
        return 1;
    }
    const QString target = QString::fromLocal8Bit(argv[3]);
    QDir().mkpath(QFileInfo(target).absolutePath());
    const QImage scaled =
        source.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!scaled.save(target, "PNG")) {
        std::fprintf(stderr, "quilton_icon_sizes: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
