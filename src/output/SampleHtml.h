#pragma once

#include <QString>
#include <QStringList>

// The sample web page "Sample.html": the tile as the fixed background behind a
// hint box and 65 lines of coloured text, to judge legibility on the tile.
namespace SampleHtml {

// The maker's page the hint box links to (names no real person or company).
inline constexpr const char* kHomePage = "https://quilton.example.org/";

// The page's folder: programFolder with a '/' added unless it ends in one.
QString pageFolder(const QString& programFolder);

// The picture the page names: givenPath when not empty, else the folder
// followed by "Sample.jpg" (with the JPEG library) or "Sample.bmp".
QString picturePath(const QString& programFolder, const QString& givenPath, bool jpegFlag);

// The 74 lines of the page (without line ends); picturePath, a local path,
// stands in the background attribute as its file URL.
QStringList pageLines(const QString& picturePath);

// The file's bytes: UTF-8 byte order mark, then every line ending in CR LF.
QByteArray pageBytes(const QString& picturePath);

// Writes the page atomically; false and error when it cannot be written.
bool writePage(const QString& pagePath, const QString& picturePath, QString* error = nullptr);

} // namespace SampleHtml
