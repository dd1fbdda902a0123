// The language-dependent texts of the mixing choices.
#include "project/resampler_texts.h"

#include "shell/messages.h"

namespace tessaly {

std::vector<std::string> ResamplingChoiceTexts()
{
    return {Msg("WrdRsmpCopy"), Msg("WrdRsmpBand"), Msg("WrdRsmpPitch")};
}

} // namespace tessaly
