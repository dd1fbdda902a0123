// The one place where the project's user-visible texts are looked up: each message has
// a language-file key and its English text as default.
#pragma once

#include <string>

namespace tessaly {

// The text for `key` in the current language, else the English default.
std::string ProjectText(const char *key, const char *english);

} // namespace tessaly
