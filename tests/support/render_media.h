// Media and checks for rendering tests: index-encoded WAV tracks, a small MPEG-4 AVI,
// per-packet hashes and decoded audio read back through FFmpeg, and a recording user
// interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/user_interface.h"

namespace tessaly::test {

// Channel values of sample frame i of an index-encoded stereo track: the primary form
// holds i & 0x7FFF and i >> 15; the double form the negative counterparts minus one,
// so every source sample and its track can be told from the values.
int16_t IndexLeft(int64_t i, bool doubleTrack = false);
int16_t IndexRight(int64_t i, bool doubleTrack = false);
// Writes a 16-bit stereo PCM WAV of `samples` index-encoded sample frames.
bool WriteIndexWave(const std::string &path, uint32_t sampleRate, int64_t samples, bool doubleTrack = false);

// An MPEG-4 AVI of lavfi test pictures (key frame every `gop` frames, no B-frames).
bool MakeTestVideo(const std::string &path, int frames, int gop, const std::string &size = "64x48",
                   int fps = 25);

// "size hash" of every video packet, read with FFmpeg's framemd5 muxer (stream copy).
std::vector<std::string> VideoPacketHashes(const std::string &path);
// FFmpeg's md5 of every decoded picture of the first video stream, in the order shown.
std::vector<std::string> PictureHashes(const std::string &path);
// The first audio stream decoded by FFmpeg to interleaved 16-bit samples.
std::vector<int16_t> DecodedAudio(const std::string &path);
// True when FFmpeg decodes every video and audio stream without a single message.
bool DecodesCleanly(const std::string &path);
// md5sum of a file's bytes ("" when it cannot be read).
std::string FileMd5(const std::string &path);

// A user interface that records every message and answers questions with `answer`.
class TRecordingUi : public TUserInterface {
public:
    explicit TRecordingUi(TMsgResult answer = mrNo) : FAnswer(answer) {}
    TMsgResult Message(TMsgType type, const std::string &text, unsigned buttons) override
    {
        Messages.push_back(text);
        Types.push_back(type);
        (void)buttons;
        return type == mtConfirmation || type == mtWarning ? FAnswer : mrOK;
    }
    std::vector<std::string> Messages;
    std::vector<TMsgType> Types;

private:
    TMsgResult FAnswer;
};

} // namespace tessaly::test
