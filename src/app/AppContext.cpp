#include "app/AppContext.h"

#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/RegistryStore.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

namespace {

// The whole primary screen at its pixel size, as it is before the main window
// shows; a null image when there is no screen or it gives no picture.
QImage grabPrimaryScreen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QPixmap shot = screen->grabWindow(0);
    if (shot.isNull() || shot.width() <= 0 || shot.height() <= 0)
        return {};
    return shot.toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

void AppContext::setPlaces(const Paths::ProgramPlaces& places)
{
    programFolder = places.programFolder;
    installsLibrary = places.installsLibrary;
    settingsFile = places.settingsFile;
    tilesFolder = places.tilesFolder;
    sampleFolder = places.sampleFolder;
    userFolder = places.userFolder;
    packageLibrary = places.packageLibrary;
    // The settings file is written at shut-down into a folder that must be
    // there; the sample page likewise when it is asked for.
    QDir().mkpath(Paths::folderPart(settingsFile));
    QDir().mkpath(sampleFolder.isEmpty() ? QStringLiteral("/") : sampleFolder);
}

AppContext AppContext::fromSystem(const QStringList& arguments)
{
    AppContext context;
    context.setPlaces(Paths::programPlaces(Paths::programFolder()));
    context.systemFolder = Paths::systemFolder();
    context.windowsFolder = Paths::windowsFolder();
    context.arguments = arguments;
    auto registry = std::make_shared<RegistryStore>(Paths::registryFile());
    context.registry = registry;
    // The desktop refers to the store, so it keeps the store alive with it.
    context.desktop = std::shared_ptr<Desktop>(makeDesktop(*registry).release(),
                                               [registry](Desktop* desktop) { delete desktop; });
    context.captureScreen = grabPrimaryScreen;
    return context;
}
