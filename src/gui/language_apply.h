// ApplyLanguage: pushes the current language's texts into a window by object name:
// window name + ".Caption" / ".Hint", and window name + "." + component name + "."
// + "Caption" or "Hint" for each named component, menu and action of the window.
#pragma once

class QWidget;

namespace tessaly::gui {

// False (and nothing changes) when the current language is not listed. A key missing
// from the language gives the element back its built-in English text, so that a
// change of language never leaves texts of the previous one behind.
bool ApplyLanguage(QWidget &window);

} // namespace tessaly::gui
