// The choices of a result written in a container through libavformat: which container
// a file name asks for, the codec of the new mixed track and which of the video
// source's other streams are kept.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

enum TResultContainer { rcWave, rcAvi, rcMatroska, rcWebm, rcMp4, rcMov };

// The lower-case (ASCII) form of a text: extensions and option names compare that way.
std::string LowerAscii(std::string text);

// The container named by the file name's extension (case-insensitive): ".mkv"/".mka"
// Matroska, ".webm", ".mp4"/".m4v", ".mov", ".avi"; anything else is the WAV result.
TResultContainer ResultContainerOfName(const std::string &fileName);
// The usual extension of a container (".mkv", ".webm", ".mp4", ".mov", ".avi", ".wav").
const char *ResultContainerExtension(TResultContainer container);
// libavformat's muxer name of a container ("matroska", "webm", "mp4", "mov", "avi"; "" for WAV).
const char *ResultMuxerName(TResultContainer container);

// acDefault: lossless where the container allows (FLAC in Matroska, ALAC in MP4, PCM in
// MOV and AVI), Opus in WebM.
enum TResultAudioCodec { acDefault, acPcm, acFlac, acAlac, acAac, acOpus, acAc3, acEac3 };

// The codec of a name ("default", "pcm", "flac", "alac", "aac", "opus", "ac3", "eac3");
// false for an unknown name.
bool ParseResultAudioCodec(const std::string &name, TResultAudioCodec &codec);
const char *ResultAudioCodecName(TResultAudioCodec codec);
// The codec acDefault stands for in a container.
TResultAudioCodec DefaultAudioCodec(TResultContainer container);
// Whether a codec is lossless (PCM, FLAC, ALAC).
bool IsLosslessCodec(TResultAudioCodec codec);

// Which of the video source's other streams the result keeps beside the video and the
// new track: kpAll every audio, subtitle and attachment stream with the chapters and
// the global metadata; kpVideoOnly the same without the source's own audio streams;
// kpNone nothing else (only the video and the new track).
enum TKeepStreams { kpAll, kpVideoOnly, kpNone };
bool ParseKeepStreams(const std::string &name, TKeepStreams &keep);

struct TLavfResultOptions {
    TResultContainer Container = rcMatroska;
    TResultAudioCodec AudioCodec = acDefault;
    int64_t AudioBitrate = 0;     // bits per second for the lossy codecs; 0: the encoder's default
    std::string AudioLanguage;    // ISO 639-2 code of the new track, "" for none
    std::string AudioTitle;       // title of the new track, "" for none
    TKeepStreams Keep = kpAll;
};

} // namespace tessaly
