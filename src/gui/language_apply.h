// ApplyLanguage: pushes the current language's texts into a window by object name:
// window name + ".Caption" / ".Hint", and window name + "." + component name + "."
// + "Caption" or "Hint" for each named component, menu and action of the window.
#pragma once

class QWidget;

namespace tessaly::gui {

// False when the current language is not listed (the program's English texts are
// applied then). A key missing from the language gives the element the English text of
// the message table, else its built-in text, so that a change of language never leaves
// texts of the previous one behind.
bool ApplyLanguage(QWidget &window);

} // namespace tessaly::gui
