// Reading a track through the project's audio reader into the alignment engine's
// analysis signal, block by block.
#pragma once

#include <string>

#include "media/input/wave_reader.h"
#include "sync/sync_signal.h"

namespace tessaly::cli {

// Reads every sample of the open reader's selected stream (16-bit output when the
// reader can convert, else its own PCM format) into `signal`. False with `error` set
// for an unreadable format or a read failure.
bool ReadSyncSignal(TWaveReader &reader, sync::TSyncSignal &signal, std::string &error);

// Opens `fileList` (any format the readers and plug-ins handle) and reads it.
bool ReadSyncFile(const std::string &fileList, sync::TSyncSignal &signal, std::string &error);

} // namespace tessaly::cli
