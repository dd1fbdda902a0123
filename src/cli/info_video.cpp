// The FFmpeg container details of `tessaly-cli info`.
#include "cli/info_video.h"

#include "media/input/io_movie_reader.h"
#include "media/input/lavf/lavf_video.h"

#include <cstdio>
#include <string>

namespace tessaly::cli {

namespace {

void Row(std::ostream &out, const std::string &label, const std::string &value)
{
    out << "  " << label << std::string(label.size() < 13 ? 13 - label.size() : 1, ' ') << value << "\n";
}

std::string RateText(int32_t rate, int32_t scale)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.3f fps (%d/%d)", double(rate) / scale, int(rate), int(scale));
    return text;
}

std::string ScanText(int fieldOrder)
{
    // AVFieldOrder: 1 progressive, 2 top first, 3 bottom first, 4 and 5 mixed stored orders.
    switch (fieldOrder) {
    case 0: return "unknown";
    case 1: return "progressive";
    case 2: case 4: return "interlaced, top field first";
    default: return "interlaced, bottom field first";
    }
}

} // namespace

void PrintVideoDetails(const TIOMovieReader &video, std::ostream &out)
{
    const TLavfVideoSource *source = video.LavfVideo();
    if (!source)
        return;
    const TLavfVideoFacts &f = source->Facts();
    Row(out, "Container:", f.Container);
    Row(out, "Format:", f.Codec);
    Row(out, "Stored:", std::to_string(f.StoredWidth) + " x " + std::to_string(f.StoredHeight) + ", " +
                            std::to_string(f.BitDepth) + " bit, " + std::to_string(f.StoredFrames) + " pictures");
    Row(out, "Frame rate:", (f.VariableRate ? "variable, frame grid " : "constant, ") +
                                RateText(source->Rate(), source->Scale()));
    Row(out, "Rotation:", f.Rotation == 0 ? "none" : std::to_string(f.Rotation) + " degrees clockwise");
    Row(out, "Scan:", ScanText(f.FieldOrder));
}

} // namespace tessaly::cli
