// Start-up and closing steps of the language choice that tie the language module to
// the settings file: which language file is loaded and which language is selected.
#pragma once

#include "shell/settings.h"

namespace tessaly {

// Loads the default language file (DefaultLanguageFile()), then the file named by the
// setting Defaults/LanguageFile instead when that file exists, and selects the language
// stored under Current/Language (when listed). Returns whether any language exists.
bool SetUpLanguage(const TSettings &settings);

// Stores the current language name under Current/Language (at closing); throws
// ESettingsWriteError when the settings file cannot be written.
void StoreLanguage(TSettings &settings);

} // namespace tessaly
