// TAppContext: start-up and teardown of the settings, language, plug-ins and defaults.
#include "shell/app_context.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "media/input/vfapi_host.h"
#include "platform/avisynth.h"
#include "platform/file_system.h"
#include "shell/language.h"
#include "shell/language_setup.h"

namespace tessaly {

namespace {
// Only one context may own the process-wide language module and plug-in table.
std::atomic<bool> gContextAlive{false};
} // namespace

TAppContext::TAppContext(const TAppStart &start)
{
    if (gContextAlive.exchange(true)) {
        // A second context would tear the first one's tables down under it.
        std::fputs("tessaly: internal error: a second application context was started\n", stderr);
        std::abort();
    }
    FProgramDir = tessaly::ProgramDir();
    FSettings = std::make_unique<TSettings>();
    tessaly::Language().Clear();
    SetUpLanguage(*FSettings);
    if (!start.Language.empty())
        FLanguageAccepted = tessaly::SelectLanguage(start.Language);
    LoadPlugins(start.RegistryFile);
    FAviSynth = AviSynthPresent();
}

TAppContext::~TAppContext()
{
    UnloadPlugins();
    tessaly::Language().Clear();
    gContextAlive = false;
}

std::string TAppContext::LanguageFile() const
{
    return tessaly::Language().Languages().empty() ? std::string() : tessaly::Language().FileName();
}

std::vector<std::string> TAppContext::Languages() const { return tessaly::Language().Languages(); }
std::string TAppContext::Language() const { return CurrentLanguage(); }
bool TAppContext::SelectLanguage(const std::string &name) { return tessaly::SelectLanguage(name); }
void TAppContext::StoreLanguage() { tessaly::StoreLanguage(*FSettings); }

int TAppContext::PluginCount() const { return tessaly::PluginCount(); }

std::vector<std::string> TAppContext::PluginNames() const
{
    std::vector<std::string> names;
    for (int i = 0; i < tessaly::PluginCount(); ++i)
        names.push_back(PluginName(i));
    return names;
}

TProjectDefaults ProjectDefaultsOf(const TSettings &settings)
{
    TProjectDefaults d;
    d.UseGlobalShift = settings.UseDefGlobShift();
    d.GlobalShift = settings.PreviewOffset();
    d.PreviewEnv = settings.PreviewEnv();
    d.Resampling = settings.DefResampling();
    d.CrossFadeMs = settings.DefCrossFadeMs();
    return d;
}

TProjectDefaults TAppContext::ProjectDefaults() const
{
    return ProjectDefaultsOf(*FSettings);
}

} // namespace tessaly
