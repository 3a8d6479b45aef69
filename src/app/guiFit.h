#pragma once

// The windows are laid out in fixed twips for a 9-point Japanese interface
// font. These helpers keep that layout and only widen what a caption needs.

class QAbstractButton;
class QWidget;

namespace guiFit {

// The interface font the windows are laid out for: VL PGothic, 9 points
// (installed with the program), or the nearest the system has.
void useDesignFont();

// The width a button, check box or radio button needs to show its caption
// whole.
int captionWidth(const QAbstractButton& button);

// Widens every button, check box and radio button that is a direct child of
// container to its caption's width. Controls of one row (same top edge) keep
// their order and left edges where there is room; a widened control pushes
// the ones right of it along, and a row that then runs past the container's
// right edge moves left as far as needed.
void fitCaptions(QWidget& container);

} // namespace guiFit
