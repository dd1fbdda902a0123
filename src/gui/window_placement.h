// Placing windows on the screen: every window opens inside the available part of the
// screen it is on, shrunk where it would be larger.
#pragma once

#include <QRect>

#include "project/tool_window_rules.h"

class QScrollArea;
class QWidget;

namespace tessaly::gui {

TWindowRect ToWindowRect(const QRect &r);
QRect ToQRect(const TWindowRect &r);
// The available part (without panels) of the screen `widget` is on, else of the primary
// screen; empty without a screen.
QRect AvailableArea(const QWidget &widget);
// Moves and shrinks the top-level `window` (its frame included) into the available area;
// a window of no size yet takes `fallback`'s size, centred.
void FitToScreen(QWidget &window, QSize fallback = QSize());
// Places `window` at `wanted` (without frame) as far as the available area allows.
void PlaceOnScreen(QWidget &window, const QRect &wanted);

// A frameless scroll area around `page` that asks for the page's whole size, so that a
// dialog shows everything where the screen has room and scrolls only where it has not.
QScrollArea *ScrollingPage(QWidget &page);

} // namespace tessaly::gui
