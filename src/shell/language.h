// The language module: the current language file, its language list and the current
// language, and the translation of message keys with built-in defaults.
#pragma once

#include "shell/lng_file.h"

#include <memory>
#include <string>
#include <vector>

namespace tessaly {

class TLanguageModule {
public:
    // Replaces the language file and its language list. With no languages the current
    // language becomes empty; otherwise, when none is set, the first one becomes
    // current (a name already set stays, even when the new file lacks it). Returns
    // whether any language exists. A missing or unreadable file gives no languages.
    bool LoadLanguageFile(const std::string &fileName);
    // The language names in file order.
    const std::vector<std::string> &Languages() const { return FLanguages; }
    // Name of the loaded language file (trimmed; empty when none).
    std::string FileName() const { return FFile ? FFile->FileName() : std::string(); }
    // Removes every "&" from `name`; when the result is a listed language it becomes
    // current and the result is true, else nothing changes.
    bool SelectLanguage(const std::string &name);
    // The current language when it is listed, else empty.
    std::string CurrentLanguage() const;
    // The current language, upper-cased, is "DEUTSCH".
    bool IsGerman() const;
    // Looks `key` up in the current language; true with the decoded text when a
    // non-empty value is found (its decoded text may be empty). Reads the file each time.
    bool Translate(const std::string &key, std::string &text) const;
    // The translation when found, else `def`.
    std::string TranslateOr(const std::string &key, const std::string &def) const;
    // Forgets the language file, its languages and the current language.
    void Clear();

private:
    std::unique_ptr<TLngFile> FFile;
    std::vector<std::string> FLanguages;
    std::string FCurrent;
};

// The program-wide language module (the one the main window and the messages use).
TLanguageModule &Language();

// Shorthands for the program-wide module.
bool LoadLanguageFile(const std::string &fileName);
bool SelectLanguage(const std::string &name);
std::string CurrentLanguage();
bool IsGerman();
bool Translate(const std::string &key, std::string &text);
std::string TranslateOr(const std::string &key, const std::string &def);

// The default language file: "tessaly.lng" beside the program, else
// "lang/tessaly.lng" beside the program (the layout of a build tree); the first name
// when neither exists.
std::string DefaultLanguageFile();

} // namespace tessaly
