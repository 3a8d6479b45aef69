#pragma once

// Shared by the window tests: a program installation of its own in a
// temporary folder, and small picture and file helpers.

#include "app/AppContext.h"
#include "app/guiMessage.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QAction;
class QWidget;
class frmMain;
class RegistryStore;
class Desktop;

namespace testsupport {

// A program folder ("prog"), system folder ("lib", empty unless the JPEG
// library is installed), Windows folder ("backgrounds"), a registry store and
// the store-only desktop, all under one temporary folder.
struct Install
{
    Install();

    QTemporaryDir dir;
    QString program;
    QString system;
    QString windows;
    std::shared_ptr<RegistryStore> registry;
    std::shared_ptr<Desktop> desktop;
    int captures = 0; // how often the start-up capture was asked for

    QString ini() const { return program + QStringLiteral("/quilton.ini"); }
    void writeIni(const QByteArray& text) const;
    // Copies the built SaveJPG.so into the system folder.
    void installJpegLibrary() const;
    // A context whose start-up capture gives capture (a null image: nothing).
    AppContext context(const QImage& capture = QImage(), const QStringList& arguments = {});
    // The main window over context(); settings as they are in ini().
    std::unique_ptr<frmMain> start(const QImage& capture = QImage(),
                                   const QStringList& arguments = {});
};

// While it lives: the messages the program would show (onMessage runs after
// each) and the pages it would open, instead of showing and opening them.
struct Shown
{
    QList<guiMessage::Message> messages;
    QStringList opened;
    std::function<void()> onMessage;
    Shown();
    ~Shown();
    Shown(const Shown&) = delete;
    Shown& operator=(const Shown&) = delete;
};

bool writeBytes(const QString& path, const QByteArray& bytes);
QByteArray readAll(const QString& path);

// A picture of random colours, the same for the same seed.
QImage randomImage(int width, int height, quint32 seed);
QImage flatImage(int width, int height, QRgb colour);
// The words of a Format_RGB32 picture as stored, seen as Format_ARGB32: a top
// byte other than 0xff shows, which pixel() and == on Format_RGB32 hide.
// Compare with picture.convertToFormat(QImage::Format_ARGB32) for "opaque".
QImage rawWords(const QImage& picture);

// The action of window with that caption, or nullptr.
QAction* findAction(const QWidget& window, const QString& caption);

} // namespace testsupport
