// Reading a track through the project's audio reader into the alignment engine's
// analysis signal, block by block.
#pragma once

#include <functional>
#include <string>

#include "media/input/wave_reader.h"
#include "sync/sync_signal.h"

namespace tessaly::autosync {

// Told the fraction read now and then; returning false stops the reading.
using TReadProgress = std::function<bool(double)>;

// Reads every sample of the open reader's selected stream (16-bit output when the
// reader can convert, else its own PCM format) into `signal`. False with `error` set
// for an unreadable format, a read failure or a stop asked by `progress`.
bool ReadSyncSignal(TWaveReader &reader, sync::TSyncSignal &signal, std::string &error,
                    const TReadProgress &progress = {});

// Opens `fileList` (any format the readers and plug-ins handle, through the access path
// of `kind`) and reads it.
bool ReadSyncFile(const std::string &fileList, sync::TSyncSignal &signal, std::string &error,
                  const std::string &kind = "AUTO|-1", const TReadProgress &progress = {});

} // namespace tessaly::autosync
