#pragma once

#include "platform/Paths.h"

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
    // The executable's folder, no trailing '/'; with installsLibrary, a newer
    // SaveJPG.so found there is installed at start-up.
    QString programFolder;
    bool installsLibrary = true;
    QString settingsFile;   // quilton.ini
    QString tilesFolder;    // "Tiles", the first save folder
    QString sampleFolder;   // "Sample.html" and its picture
    QString userFolder;     // offered when no folder is remembered
    QString packageLibrary; // the installed package's SaveJPG.so, or empty
    QString systemFolder;   // where SaveJPG.so is installed
    QString windowsFolder;  // where the wallpaper picture is written
    QStringList arguments;  // the command line after the program name ("/C")
    std::shared_ptr<RegistryStore> registry;
    std::shared_ptr<Desktop> desktop;
    // The start-up screen capture; a null image means "no picture".
    std::function<QImage()> captureScreen;

    // Takes the program's places (Paths::programPlaces) and makes the folders
    // its files are written into, but "Tiles", which the start-up makes.
    void setPlaces(const Paths::ProgramPlaces& places);

    // The real thing: folders of Paths, the registry store file, the desktop
    // chosen from the session, the primary screen's grab.
    static AppContext fromSystem(const QStringList& arguments);
};
