#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class Desktop;
class RegistryStore;

// Everything the windows need from the outside world, passed in so that tests
// can run the whole program over temporary folders and fake services.
struct AppContext
{
    QString programFolder; // quilton.ini, Tiles/, Sample.html; no trailing '/'
    QString systemFolder;  // where SaveJPG.so is installed
    QString windowsFolder; // where the wallpaper picture is written
    QStringList arguments; // the command line after the program name ("/C")
    std::shared_ptr<RegistryStore> registry;
    std::shared_ptr<Desktop> desktop;
    // The start-up screen capture; a null image means "no picture".
    std::function<QImage()> captureScreen;

    // The real thing: folders of Paths, the registry store file, the desktop
    // chosen from the session, the primary screen's grab.
    static AppContext fromSystem(const QStringList& arguments);
};
