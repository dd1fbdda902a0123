// The window on a video in a Matroska container: its open dialog names the containers and
// images, and the frame shown is the picture FFmpeg decodes for that frame.
#include <QImage>

#include "gui/frame_view.h"
#include "gui/main_window.h"
#include "gui_fixture.h"
#include "support/video_test_support.h"

namespace tessaly::test {
namespace {

class ContainerVideo : public TWindowTest {};

TEST_F(ContainerVideo, OpensAMatroskaVideoAndShowsItsFrames)
{
    const std::string mkv = Dir.File("film.mkv");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc2=size=96x64:rate=25 -t 3 -c:v libx264 -bf 3 -g 25 -pix_fmt yuv420p " +
                       ShellQuote(mkv)));
    setenv("XDG_CACHE_HOME", Dir.File("cache").c_str(), 1);
    Dialogs.Files = {mkv};
    Dialogs.Answers = {mrYes}; // no smart rendering: load anyway
    Trigger("FileOpenVideoItem");
    ASSERT_EQ(Dialogs.FileRequests.size(), 1u);
    std::vector<std::string> labels;
    for (const auto &f : Dialogs.FileRequests[0].Filters)
        labels.push_back(f.Label);
    const auto has = [&](const std::string &start) {
        for (const std::string &l : labels)
            if (l.rfind(start, 0) == 0)
                return true;
        return false;
    };
    EXPECT_TRUE(has("Matroska and WebM videos (*.mkv"));
    EXPECT_TRUE(has("MP4 and QuickTime videos (*.mp4"));
    EXPECT_TRUE(has("Images (*.bmp"));
    EXPECT_FALSE(has("AVI files in VfW mode"));

    ASSERT_TRUE(Session->Project().HasVideo());
    EXPECT_EQ(Session->Project().FrameCount(), 75);
    EXPECT_EQ(Session->Sources().KindString(srVideo), "LAVF|-1");
    const std::string reference = FfmpegBgr24(mkv);
    ASSERT_EQ(reference.size(), Bgr24FrameSize(96, 64) * 75);
    for (int n : {61, 3, 40}) {
        Window->GoToFrame(n);
        ASSERT_TRUE(WaitForPicture(n));
        const QImage &shown = Window->FrameView().Frame();
        ASSERT_EQ(shown.width(), 96);
        ASSERT_EQ(shown.height(), 64);
        int wrong = 0;
        const uint8_t *frame = reinterpret_cast<const uint8_t *>(reference.data()) + Bgr24FrameSize(96, 64) * size_t(n);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x) {
                const uint8_t *p = frame + (size_t(y) * 96 + size_t(x)) * 3;
                wrong += shown.pixel(x, y) != qRgb(p[2], p[1], p[0]);
            }
        EXPECT_EQ(wrong, 0) << "frame " << n;
    }
}

} // namespace
} // namespace tessaly::test
