// Language choice at start-up and closing.
#include "shell/language_setup.h"

#include "platform/file_system.h"
#include "shell/language.h"

namespace tessaly {

bool SetUpLanguage(const TSettings &settings) {
    bool any = LoadLanguageFile(DefaultLanguageFile());
    std::string other = settings.LanguageFile();
    if (!other.empty() && FileExists(other))
        any = LoadLanguageFile(other);
    std::string stored = settings.LanguageName();
    if (!stored.empty())
        SelectLanguage(stored);
    return any;
}

void StoreLanguage(TSettings &settings) {
    settings.SetLanguageName(CurrentLanguage());
}

} // namespace tessaly
