// The texts of the mixing choices as the window offers them: the reading modes in the
// order of TResampling.
#pragma once

#include <string>
#include <vector>

#include "project/project_options.h"

namespace tessaly {

// "Sample copy", "Band-limited", "Keep pitch" in the current language, index = TResampling.
std::vector<std::string> ResamplingChoiceTexts();

} // namespace tessaly
