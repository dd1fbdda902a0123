// TAppContext: what one run of a front-end sets up before anything else and releases at
// its end: the program folder, the settings file, the language file and language, the
// table of reader plug-ins, the AviSynth presence test and the defaults of a new project.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/project_defaults.h"
#include "shell/settings.h"

namespace tessaly {

// How a front-end starts the context. Every field may stay empty.
struct TAppStart {
    // A language selected for this run only (e.g. tessaly-cli --language NAME); it is
    // not stored in the settings file. Empty: the stored Current/Language.
    std::string Language;
    // The plug-in registry file; empty: registry.ini in the user's configuration folder
    // (the plug-ins beside the program when it lists none).
    std::string RegistryFile;
};

// Exactly one context lives at a time: each front-end's main() builds it first and lets
// it go last. The language module and the plug-in table it fills are the process-wide
// ones the media and message code read; nothing else is process-wide.
//
// Start-up, in this order:
//  1. the settings file: tessaly.ini beside the program when that file exists, else
//     $XDG_CONFIG_HOME/tessaly/tessaly.ini (read key by key, never cached);
//  2. the language: the default language file beside the program, the file named by
//     Defaults/LanguageFile instead when it exists, then Current/Language selected,
//     then TAppStart::Language selected when given;
//  3. the plug-in table from the registry stand-in (defaults framepull.vfp and
//     soundpull.vfp beside the program);
//  4. the AviSynth presence test.
// The destructor unloads the plug-ins and forgets the language file.
class TAppContext {
public:
    explicit TAppContext(const TAppStart &start = {});
    ~TAppContext();
    TAppContext(const TAppContext &) = delete;
    TAppContext &operator=(const TAppContext &) = delete;

    // The folder of the running program, with a trailing "/".
    const std::string &ProgramDir() const { return FProgramDir; }
    TSettings &Settings() { return *FSettings; }
    const TSettings &Settings() const { return *FSettings; }

    // The loaded language file (empty when none has languages) and its languages.
    std::string LanguageFile() const;
    std::vector<std::string> Languages() const;
    // The current language; empty when none.
    std::string Language() const;
    // False when TAppStart::Language named no language of the file (the stored or
    // first language then stays current).
    bool LanguageAccepted() const { return FLanguageAccepted; }
    // Selects a listed language for the rest of the run; false when it is not listed.
    bool SelectLanguage(const std::string &name);
    // Stores the current language under Current/Language (the window does at closing);
    // throws ESettingsWriteError when the settings file cannot be written.
    void StoreLanguage();

    // Number of reader plug-ins loaded, with their names in table order.
    int PluginCount() const;
    std::vector<std::string> PluginNames() const;
    // Whether the AviSynth library is installed.
    bool AviSynth() const { return FAviSynth; }

    // The defaults of a new project, read from the settings now.
    TProjectDefaults ProjectDefaults() const;

private:
    std::string FProgramDir;
    std::unique_ptr<TSettings> FSettings;
    bool FLanguageAccepted = true;
    bool FAviSynth = false;
};

// The defaults a new project takes from the settings (what TAppContext::ProjectDefaults gives).
TProjectDefaults ProjectDefaultsOf(const TSettings &settings);

} // namespace tessaly
