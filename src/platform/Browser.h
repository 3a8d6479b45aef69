#pragma once

#include <QString>

#include <functional>

// Opening a file or address in the desktop's browser (xdg-open through
// QDesktopServices). Tests install a recorder instead, so no browser starts.
namespace Browser {

using Opener = std::function<void(const QString& urlOrPath)>;

// Opens a local file (path) or an address (http...). The result is ignored.
void open(const QString& urlOrPath);

// Replaces the opener (nullptr restores the desktop's). For tests.
void setOpener(Opener opener);

} // namespace Browser
