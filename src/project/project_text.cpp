// Lookup of the project's user-visible texts by key with English defaults.
#include "project/project_text.h"

#include "shell/language.h"

namespace tessaly {

std::string ProjectText(const char *key, const char *english)
{
    return TranslateOr(key, english);
}

} // namespace tessaly
