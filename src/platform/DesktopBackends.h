#pragma once

// The implementations behind Desktop and what they share. Only the factory
// and the tests reach in here; the program talks to Desktop.

#include "platform/Desktop.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace DesktopBackends {

// The registry key the desktop's values live under.
inline constexpr const char* kDesktopKey = "Control Panel\\desktop";

// How long one helper program may take before it counts as failed.
inline constexpr int kTimeoutMs = 5000;

struct ProcessResult
{
    bool ok = false;   // started, finished in time and exited with 0
    QByteArray output; // its standard output
    QString error;     // what went wrong, for the message
};

// Runs program with arguments (no shell involved) and waits at most
// timeoutMs; a program that takes longer is killed.
ProcessResult run(const QString& program, const QStringList& arguments, int timeoutMs = kTimeoutMs);

// The text of a GVariant string as gsettings prints it ('...' or "..."
// with backslash escapes); a file URI becomes its local path.
QString parseGVariantPath(const QString& printed);

// A GVariant text literal for a string: single quotes, with backslash and
// single quote escaped.
QString gvariantString(const QString& text);

// Each takes the full path of its helper program.
std::unique_ptr<Desktop> makeGnome(RegistryStore& store, const QString& gsettings);
std::unique_ptr<Desktop> makeXfce(RegistryStore& store, const QString& xfconfQuery);
// xsetroot may be empty; it is used to clear the root window for "no wallpaper".
std::unique_ptr<Desktop> makeFeh(RegistryStore& store, const QString& feh, const QString& xsetroot);

} // namespace DesktopBackends
