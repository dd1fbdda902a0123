// The AviSynth presence test: load the library once and release it at once.
#include "platform/avisynth.h"

#include <dlfcn.h>

namespace tessaly {

bool AviSynthPresent()
{
    static const bool present = [] {
        void *lib = dlopen("libavisynth.so", RTLD_LAZY | RTLD_LOCAL);
        if (lib)
            dlclose(lib);
        return lib != nullptr;
    }();
    return present;
}

} // namespace tessaly
