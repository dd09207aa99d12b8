#pragma once
// Windows are designed in fixed positions for a small, narrow font; desktop
// fonts are larger. These helpers keep the designed arrangement as the
// smallest one and make room for every caption at the font in use.
#include <QIcon>
#include <QSize>
#include <QWidget>

namespace kobal::qt {

// The size a label, check box, radio button or push button needs to show
// its whole caption (a word-wrapped label keeps its width); for any other
// control, its current size.
QSize CaptionSize(const QWidget* control);

// Grows every control of holder (and of the group boxes inside it) to its
// CaptionSize, moves the controls below and to the right of a grown one by
// as much, keeps controls that started in one column in one column, and
// returns the size holder needs (at least its current size). Pictures are
// left as they are.
QSize GrowToFit(QWidget* holder);

// The product icon beside the program (the install directory's resource
// folder, or the install medium's), or an empty icon when there is none.
QIcon ProductIcon();

}  // namespace kobal::qt
