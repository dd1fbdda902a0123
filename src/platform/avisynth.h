// Whether the AviSynth library is installed: the presence test behind the ".avs" entries
// of the open dialogs and the AUTO detection of AviSynth scripts.
#pragma once

namespace tessaly {

// Tries to load "libavisynth.so" the first time it is called and releases it at once;
// the answer is kept for the rest of the run. Never fails: false when absent.
bool AviSynthPresent();

} // namespace tessaly
