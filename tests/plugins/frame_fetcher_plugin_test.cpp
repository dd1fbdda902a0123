// The window's frame fetcher over a video read through the frame plug-in: a reader of
// its own on a worker thread gives the pictures the window's reader gives, in any order.
#include "media/input/io_movie_reader.h"
#include "media/input/vfapi_host.h"
#include "plugin_media.h"
#include "project/frame_fetcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

namespace tessaly::test {
namespace {

TEST(FrameFetcherOnPlugin, PicturesEqualTheReadersOwn)
{
    UnloadPlugins();
    LoadPluginsFrom({"framepull=" + std::string(TESSALY_BIN_DIR) + "/framepull.vfp"});
    ASSERT_EQ(PluginCount(), 1);
    const std::string avi = Mpeg4Avi();
    {
        TIOMovieReader video;
        ASSERT_FALSE(avi.empty());
        ASSERT_TRUE(video.Open(avi, "VFAP|framepull")) << avi << ": " << MediaErrorIdent(video.Status());
        ASSERT_EQ(video.Kind(), ksVfap);
        std::mutex mutex;
        std::vector<TFetchedFrame> got;
        TFrameFetcher fetcher(
            [&](const TFetchedFrame &f) {
                std::lock_guard lock(mutex);
                got.push_back(f);
            },
            4 << 20);
        const TVideoOpening opening = VideoOpeningOf(video);
        fetcher.SetSource([opening](TMediaError &error) { return OpenReaderSource(opening, error); });
        for (int32_t n : {40, 39, 38, 5, 99, 0, 41}) {
            fetcher.Request(n);
            ASSERT_TRUE(fetcher.WaitIdle(std::chrono::seconds(60)));
            std::lock_guard lock(mutex);
            ASSERT_FALSE(got.empty());
            const TFetchedFrame last = got.back();
            got.clear();
            ASSERT_TRUE(last.Picture) << n;
            EXPECT_EQ(last.Frame, n);
            std::unique_ptr<TIOImage> expected = video.NewFrameImage();
            ASSERT_TRUE(video.GetFrame(n, *expected));
            ASSERT_EQ(last.Picture->ImageSize(), expected->ImageSize());
            EXPECT_TRUE(std::equal(expected->Bits(), expected->Bits() + expected->ImageSize(), last.Picture->Bits()))
                << "frame " << n;
        }
    }
    UnloadPlugins();
}

} // namespace
} // namespace tessaly::test
