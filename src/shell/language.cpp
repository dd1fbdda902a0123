// The language module around TLngFile.
#include "shell/language.h"

#include "platform/file_system.h"
#include "platform/text_util.h"

namespace tessaly {

bool TLanguageModule::LoadLanguageFile(const std::string &fileName) {
    FFile = std::make_unique<TLngFile>(fileName);
    FLanguages = FFile->ReadLanguages();
    if (FLanguages.empty())
        FCurrent.clear();
    else if (FCurrent.empty())
        FCurrent = FLanguages.front();
    return !FLanguages.empty();
}

bool TLanguageModule::SelectLanguage(const std::string &name) {
    std::string plain;
    for (char c : name)
        if (c != '&')
            plain += c;
    // Names compare without regard to case, as the section lookup does.
    for (const std::string &listed : FLanguages) {
        if (UpperAscii(listed) == UpperAscii(plain)) {
            FCurrent = listed;
            return true;
        }
    }
    return false;
}

std::string TLanguageModule::CurrentLanguage() const {
    for (const std::string &listed : FLanguages)
        if (UpperAscii(listed) == UpperAscii(FCurrent))
            return FCurrent;
    return {};
}

bool TLanguageModule::IsGerman() const {
    return UpperAscii(FCurrent) == "DEUTSCH";
}

bool TLanguageModule::Translate(const std::string &key, std::string &text) const {
    if (!FFile || FCurrent.empty())
        return false;
    std::string value;
    if (!FFile->Lookup(FCurrent, key, value) || value.empty())
        return false;
    text = TLngFile::DecodeValue(value);
    return true;
}

std::string TLanguageModule::TranslateOr(const std::string &key, const std::string &def) const {
    std::string text;
    return Translate(key, text) ? text : def;
}

void TLanguageModule::Clear() {
    FFile.reset();
    FLanguages.clear();
    FCurrent.clear();
}

TLanguageModule &Language() {
    static TLanguageModule module;
    return module;
}

bool LoadLanguageFile(const std::string &fileName) { return Language().LoadLanguageFile(fileName); }
bool SelectLanguage(const std::string &name) { return Language().SelectLanguage(name); }
std::string CurrentLanguage() { return Language().CurrentLanguage(); }
bool IsGerman() { return Language().IsGerman(); }
bool Translate(const std::string &key, std::string &text) { return Language().Translate(key, text); }
std::string TranslateOr(const std::string &key, const std::string &def) {
    return Language().TranslateOr(key, def);
}

std::string DefaultLanguageFile() {
    const std::string beside = ProgramDir() + "tessaly.lng";
    if (FileExists(beside))
        return beside;
    const std::string inLang = ProgramDir() + "lang/tessaly.lng";
    return FileExists(inLang) ? inLang : beside;
}

} // namespace tessaly
