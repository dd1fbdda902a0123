// The file types soundpull claims, kept as a table: each pattern names a container or
// stream whose audio the GStreamer decoders installed with the program read (the set-up
// installs gstreamer1.0-plugins-good, -bad, -ugly and -libav). The host matches a file's
// extension against these patterns; adding a format is one line here.
#pragma once

#include <cstddef>
#include <string>

namespace tessaly::soundpull {

struct TFileType {
    const char *Pattern;
    const char *What; // the format, for people reading the table
};

inline constexpr TFileType kFileTypes[] = {
    {"*.mp3", "MPEG-1/2 Layer III"},
    {"*.mp2", "MPEG-1/2 Layer II"},
    {"*.mpa", "MPEG audio"},
    {"*.ac3", "Dolby Digital (AC-3)"},
    {"*.eac3", "Dolby Digital Plus (E-AC-3)"},
    {"*.dts", "DTS"},
    {"*.aac", "AAC in ADTS"},
    {"*.m4a", "AAC or ALAC in MP4"},
    {"*.mp4", "audio of an MP4 file"},
    {"*.mov", "audio of a QuickTime file"},
    {"*.flac", "FLAC"},
    {"*.ogg", "Vorbis, Opus or FLAC in Ogg"},
    {"*.oga", "audio in Ogg"},
    {"*.opus", "Opus in Ogg"},
    {"*.mka", "audio in Matroska"},
    {"*.mkv", "audio of a Matroska file"},
    {"*.webm", "Vorbis or Opus in WebM"},
    {"*.wma", "Windows Media Audio"},
    {"*.asf", "audio of an ASF file"},
    {"*.wv", "WavPack"},
    {"*.aif", "AIFF"},
    {"*.aiff", "AIFF"},
    {"*.aifc", "AIFF-C"},
    {"*.au", "Sun audio"},
    {"*.snd", "Sun audio"},
    {"*.caf", "Core Audio Format"},
    {"*.ts", "audio of an MPEG transport stream"},
    {"*.m2ts", "audio of a Blu-ray transport stream"},
    {"*.mts", "audio of an AVCHD transport stream"},
    {"*.mpg", "audio of an MPEG program stream"},
    {"*.mpeg", "audio of an MPEG program stream"},
    {"*.vob", "audio of a DVD program stream"},
    {"*.flv", "audio of a Flash video file"},
    {"*.wmv", "audio of a Windows Media video file"},
    {"*.avi", "audio of an AVI file (MP3, AC-3, PCM ...)"},
    {"*.wav", "audio of a WAV file"},
    {"*.grf", "saved pipeline file"},
};

// The plug-in's file-types text: the filter label, "|", the patterns joined with ";".
inline std::string FileTypesText()
{
    std::string patterns;
    for (const TFileType &t : kFileTypes)
        patterns += (patterns.empty() ? "" : ";") + std::string(t.Pattern);
    return "GStreamer audio|" + patterns;
}

} // namespace tessaly::soundpull
