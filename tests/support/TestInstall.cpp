#include "support/TestInstall.h"

#include "TestEnv.h"
#include "app/frmMain.h"
#include "platform/Browser.h"
#include "platform/Desktop.h"
#include "platform/RegistryStore.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace testsupport {

Install::Install()
    : program(dir.filePath(QStringLiteral("prog"))), system(dir.filePath(QStringLiteral("lib"))),
      windows(dir.filePath(QStringLiteral("backgrounds")))
{
    for (const QString& folder : {program, system, windows})
        QDir().mkpath(folder);
    registry = std::make_shared<RegistryStore>(dir.filePath(QStringLiteral("registry.ini")));
    desktop = std::shared_ptr<Desktop>(makeStoreOnlyDesktop(*registry).release());
}

void Install::writeIni(const QByteArray& text) const
{
    writeBytes(ini(), text);
}

void Install::installJpegLibrary() const
{
    QFile::copy(testenv::binDir() + QStringLiteral("/SaveJPG.so"),
                system + QStringLiteral("/SaveJPG.so"));
}

AppContext Install::context(const QImage& capture, const QStringList& arguments)
{
    AppContext context;
    context.setPlaces(Paths::programPlaces(program));
    context.systemFolder = system;
    context.windowsFolder = windows;
    context.arguments = arguments;
    context.registry = registry;
    context.desktop = desktop;
    context.captureScreen = [this, capture] {
        ++captures;
        return capture;
    };
    return context;
}

std::unique_ptr<frmMain> Install::start(const QImage& capture, const QStringList& arguments)
{
    return std::make_unique<frmMain>(context(capture, arguments));
}

Shown::Shown()
{
    guiMessage::setCapture([this](const guiMessage::Message& m) {
        messages.append(m);
        if (onMessage)
            onMessage();
    });
    Browser::setOpener([this](const QString& page) { opened << page; });
}

Shown::~Shown()
{
    guiMessage::setCapture(nullptr);
    Browser::setOpener(nullptr);
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage randomImage(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xff000000u | (random.generate() & 0x00ffffffu);
    }
    return image;
}

QImage flatImage(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QImage rawWords(const QImage& picture)
{
    return QImage(picture.constBits(), picture.width(), picture.height(), picture.bytesPerLine(),
                  QImage::Format_ARGB32)
        .copy();
}

QAction* findAction(const QWidget& window, const QString& caption)
{
    const QList<QAction*> actions = window.findChildren<QAction*>();
    for (QAction* action : actions)
        if (action->text() == caption)
            return action;
    return nullptr;
}

} // namespace testsupport
