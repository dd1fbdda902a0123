// The one place where the project's user-visible texts are looked up: each message has
// a language-file key and its English text as default.
#pragma once

#include <string>

namespace tessaly {

// The text for `key`; the English default while no language file supplies one.
std::string ProjectText(const char *key, const char *english);

} // namespace tessaly
