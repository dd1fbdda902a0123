// Selects a language of the language file in the source tree for the life of the object,
// so that tests can read the texts the front-ends show in it.
#pragma once

#include <string>

#include "shell/language.h"

namespace tessaly::test {

class TShippedLanguage {
public:
    explicit TShippedLanguage(const std::string &language)
    {
        // The source tree's lang/ beside tests/ (tests/data need not exist).
        const std::string data = TESSALY_TEST_DATA_DIR;
        Ok = LoadLanguageFile(data.substr(0, data.rfind('/')) + "/../lang/tessaly.lng") && SelectLanguage(language);
    }
    ~TShippedLanguage()
    {
        LoadLanguageFile("");
        SelectLanguage("");
    }
    TShippedLanguage(const TShippedLanguage &) = delete;
    TShippedLanguage &operator=(const TShippedLanguage &) = delete;
    bool Ok = false;
};

} // namespace tessaly::test
