// TLavfAudio: the audio of any container libavformat demuxes, decoded with libavcodec into
// the stream's own sample format (8/16/24/32-bit integer, 32/64-bit float, every channel in
// FFmpeg's order, which is the WAVE order), with the encoder delay and padding dropped as a
// plain FFmpeg decode drops them, and sample-exact seeking through a packet index.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/input/audio_source.h"

namespace tessaly {

// What a container holds, for display: every stream in the container's numbering.
struct TLavfStreamText {
    int Index = 0;              // the container's stream index (as ffprobe numbers streams)
    char Type = '?';            // 'a' audio, 'v' video, 's' subtitle, 'd' data, 't' attachment
    std::string Codec;          // codec name ("mp3", "ac3", "pcm_s16le"; "unknown" when none)
    std::string Language, Title;
    // Audio only:
    int Rate = 0, Channels = 0;
    std::string Layout;         // "stereo", "5.1(side)", "" when unknown
    int Bits = 0;               // bits per sample delivered (0: not decodable)
    bool Float = false;         // IEEE float samples
    int64_t Length = -1;        // sample frames delivered, -1 when not decodable
    int64_t Delay = 0;          // encoder delay dropped at the start (sample frames)
    double StartTime = 0.0;     // the stream's start in the container (seconds)
};

struct TLavfChapterText {
    double Start = 0.0, End = 0.0; // seconds
    std::string Title;
};

// The streams of a file as its container describes them, read without decoding (Length
// -1, Bits 0); empty when FFmpeg cannot open the file.
std::vector<TLavfStreamText> ProbeLavfStreams(const std::string &fileName);

class TLavfAudio final : public TAudioSource {
public:
    TLavfAudio();
    ~TLavfAudio() override;
    TLavfAudio(const TLavfAudio &) = delete;
    TLavfAudio &operator=(const TLavfAudio &) = delete;

    // Opens a local file and indexes and counts the samples of every audio stream that can
    // be decoded: from the index cache when it holds this state of the file, else by reading
    // the file once (and storing what was found in the cache). In that pass a stream whose
    // codec's packet lengths are known is decoded only at its start and end and counted from
    // the lengths in between (the same index a decode of every packet gives), unless
    // decodeWhole. meOk, meFileNotFound, meFileOpen, meFileFormat (nothing demuxes it, or a
    // refused demuxer), meNoAudioStream (no decodable audio).
    TMediaError Open(const std::string &fileName, bool decodeWhole = false);

    const AVIFILEINFO &FileInfo() const override;
    // Every stream of the container, numbered by its index.
    const std::vector<TAudioStreamRecord> &Streams() const override;
    TMediaError Read(int stream, int64_t first, int32_t count, uint8_t *out) override;

    // Container name ("matroska,webm" long name), the streams and chapters for display.
    std::string ContainerName() const;
    const std::vector<TLavfStreamText> &StreamTexts() const;
    const std::vector<TLavfChapterText> &Chapters() const;

    // Packets decoded before a seek target whose output is thrown away (tests set it to
    // show that too little pre-roll would be seen). -1: the codec's own value.
    void SetPrerollPackets(int packets);
    // Whether the last Open took the index from the cache instead of decoding the file.
    bool IndexFromCache() const;
    // Whether the last Open counted a stream's samples from its packet lengths.
    bool IndexFromPacketLengths() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace tessaly
