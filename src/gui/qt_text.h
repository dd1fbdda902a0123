// Conversions between the core's UTF-8 strings and Qt strings.
#pragma once

#include <QString>
#include <string>

namespace tessaly::gui {

inline QString Q(const std::string &text) { return QString::fromStdString(text); }
inline std::string S(const QString &text) { return text.toStdString(); }

} // namespace tessaly::gui
