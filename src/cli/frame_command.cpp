// `tessaly-cli frame MEDIA|PROJECT FRAME OUT.png`: the picture of one frame, as the
// window shows it at 100 %, written as a PNG file.
#include <climits>
#include <iostream>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/console_ui.h"
#include "media/common/io_image_png.h"
#include "media/input/io_movie_reader.h"
#include "platform/file_system.h"
#include "platform/text_util.h"
#include "project/project_session.h"
#include "shell/app_context.h"
#include "shell/messages.h"

namespace tessaly::cli {

namespace {

const char *const kFrameHelp =
    "usage: tessaly-cli frame MEDIA|PROJECT.tsp FRAME OUT.png\n"
    "Writes the picture of frame FRAME (counted from 0) of a video file, or of a project's\n"
    "video as the window shows it (turned upside down when the project says so), as a PNG\n"
    "file.\n";

std::string ErrorText(const std::string &lead, TMediaError code, const TMediaProblem &problem = {})
{
    return TerminalText(TranslatedErrorSentence(lead, code, problem));
}

// The frame of an open video into OUT.png; the exit status.
int WriteFrame(TIOMovieReader &video, int64_t frame, const std::string &out)
{
    if (frame < 0 || frame >= video.FrameCount()) {
        std::cerr << TerminalText(FormatText(Msg("ErrFrameOutside"), {std::to_string(frame),
                                                                       std::to_string(video.FrameCount())}))
                  << "\n";
        return kExitFailure;
    }
    std::unique_ptr<TIOImage> image = video.NewFrameImage();
    if (!image || !video.GetFrame(int32_t(frame), *image)) {
        std::cerr << ErrorText(FormatText(Msg("ErrInvalidFrame"), {std::to_string(frame)}), video.Status()) << "\n";
        return kExitFailure;
    }
    std::vector<uint8_t> png;
    std::string error;
    if (!EncodePng(*image, png) || !WriteFileAtomic(out, std::string(png.begin(), png.end()), &error)) {
        std::cerr << TerminalText(Msg("ErrTarget")) << (error.empty() ? "" : " " + error) << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace

int RunFrame(const TAppContext &context, const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, {}, {}, args, error)) {
        std::cerr << "tessaly-cli frame: " << error << "\n" << kFrameHelp;
        return kExitUsage;
    }
    if (args.Has("--help")) {
        std::cout << kFrameHelp;
        return kExitOk;
    }
    int64_t frame = 0;
    if (args.Positional.size() != 3 || !ParseInt(args.Positional[1], INT32_MIN, INT32_MAX, frame)) {
        std::cerr << "tessaly-cli frame: expected a media file or project, a frame number and an output file\n"
                  << kFrameHelp;
        return kExitUsage;
    }
    const std::string &source = args.Positional[0];
    const std::string &out = args.Positional[2];
    if (UpperAscii(ExtractFileExt(source)) == ".TSP") {
        TConsoleUserInterface ui;
        TProjectSession session(&ui, context.ProjectDefaults());
        if (!session.LoadProject(source, true)) {
            if (ui.ErrorCount() == 0)
                std::cerr << "error: cannot load the project \"" << source << "\"\n";
            return kExitFailure;
        }
        if (!session.Project().HasVideo()) {
            std::cerr << TerminalText(Msg("ErrNoVideo")) << "\n";
            return kExitFailure;
        }
        return WriteFrame(session.Sources().Video(), frame, out);
    }
    TIOMovieReader video;
    if (!video.Open(ExpandFileName(source), "AUTO|-1")) {
        std::cerr << ErrorText(FormatText(Msg("ErrOpenVid"), {source}), video.Status(), video.Problem()) << "\n";
        return kExitFailure;
    }
    return WriteFrame(video, frame, out);
}

} // namespace tessaly::cli
