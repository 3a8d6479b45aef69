#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

// A tile as a wall: the tile repeated edge to edge from a top-left origin, as
// the tiled desktop wallpaper shows it, at a zoom, optionally with the seams
// (where two repeats meet) marked. Plain pictures in, pictures out; the
// preview window paints with these.
namespace RepeatPattern {

// The zooms of the preview: whole-number enlargements, or the whole screen
// reduced into the view.
enum class Zoom { X1 = 1, X2 = 2, X3 = 3, X4 = 4, FitScreen = 0 };

// The seam mark: a one-pixel line, half transparent so that the pixels of
// the join stay visible under it.
inline const QColor kSeamColour(255, 0, 160, 128);

// The repeating unit at a whole-number zoom: tile enlarged factor times with
// every pixel a factor x factor square (no smoothing, so single pixels can be
// judged), with the seam mark on its top row and left column when seams is
// set. Null for a null tile or a factor below 1.
QImage cell(const QImage& tile, int factor, bool seams);

// A picture of size covered by the cell repeated from its top-left corner.
QImage repeated(const QImage& cell, const QSize& size);

// What the wallpaper makes of tile on a screen of that size: the tile at its
// real size repeated from the screen's top-left corner. Format_RGB32.
QImage desktopPicture(const QImage& tile, const QSize& screen);

// Where the whole screen shows in a view in the fit-screen zoom: the screen's
// shape, as large as fits in view but never enlarged, centred. Empty when
// either size is empty.
QRect fitRect(const QSize& screen, const QSize& view);

// The desktop picture reduced into fitRect's size, each reduced pixel the mean
// of the screen area it stands for, the seams drawn
// after the reduction at the reduced tile edges so that they stay one pixel
// wide and sharp.
QImage fittedScreen(const QImage& tile, const QSize& screen, const QSize& view, bool seams);

// Writes picture as PNG to path atomically (temporary file, then rename), so
// that a failed write leaves an existing file whole. False and error when it
// could not be written.
bool savePng(const QImage& picture, const QString& path, QString* error = nullptr);

// Settings words for a zoom: "1" to "4" and "Screen"; an unknown word reads
// as fallback.
QString zoomWord(Zoom zoom);
Zoom zoomFromWord(const QString& word, Zoom fallback);

} // namespace RepeatPattern
