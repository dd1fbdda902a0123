// The sample grabber element: which types it accepts and records, and how it hands buffers
// with their times to the reading thread (fed by an appsrc, every wait bounded).
#include "plugins/gst/dss_handle.h"
#include "plugins/gst/get_sample.h"

#include <gst/app/gstappsrc.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

using namespace tessaly::gst;

namespace {

// Owns a grabber element for tests that never put it in a pipeline.
struct TLooseGrabber {
    TLooseGrabber(bool audio, uint32_t mask, bool copies = false)
    {
        gst_init(nullptr, nullptr);
        Grabber = TGetSample::Create(audio, mask, copies);
        if (Grabber)
            gst_object_ref_sink(Grabber->Element());
    }
    ~TLooseGrabber()
    {
        if (Grabber)
            gst_object_unref(Grabber->Element());
    }
    bool Accepts(const char *caps)
    {
        GstCaps *c = gst_caps_from_string(caps);
        const bool ok = Grabber->QueryAccept(c);
        gst_caps_unref(c);
        return ok;
    }
    TGetSample *Grabber = nullptr;
};

std::string Video(const char *format, const char *extra = "")
{
    return std::string("video/x-raw,format=") + format + ",width=32,height=16,framerate=25/1" + extra;
}

} // namespace

TEST(GstGrabberTypes, VideoMaskDecidesOfferedAndAcceptedFormats)
{
    // Mask 0 offers nothing but accepts all five formats (in their Windows byte orders).
    TLooseGrabber any(false, 0, true);
    ASSERT_NE(any.Grabber, nullptr);
    EXPECT_TRUE(any.Grabber->OfferedFormats().empty());
    for (const char *f : {"I420", "YV12", "YUY2", "BGRA", "BGRx", "BGR"})
        EXPECT_TRUE(any.Accepts(Video(f).c_str())) << f;
    for (const char *f : {"NV12", "RGB", "RGBx", "ARGB", "UYVY", "GRAY8"})
        EXPECT_FALSE(any.Accepts(Video(f).c_str())) << f;
    EXPECT_FALSE(any.Accepts("audio/x-raw,format=S16LE,layout=interleaved,rate=44100,channels=2"));

    // Mask 63 offers all five in order; colour request 33 (RGB24 only) refuses YUV.
    TLooseGrabber all(false, fmAll, true);
    EXPECT_EQ(all.Grabber->OfferedFormats(), (std::vector<uint32_t>{fmYV12, fmYUY2, fmARGB32, fmRGB32, fmRGB24}));
    uint32_t mask = 0;
    ASSERT_TRUE(ColourRequestMask(33, mask));
    TLooseGrabber rgb24(false, mask, true);
    EXPECT_EQ(rgb24.Grabber->OfferedFormats(), (std::vector<uint32_t>{fmRGB24}));
    EXPECT_TRUE(rgb24.Accepts(Video("BGR").c_str()));
    EXPECT_FALSE(rgb24.Accepts(Video("YUY2").c_str()));
    EXPECT_FALSE(rgb24.Accepts(Video("I420").c_str()));
    EXPECT_FALSE(rgb24.Accepts(Video("BGRx").c_str()));
    ASSERT_TRUE(ColourRequestMask(64, mask));
    EXPECT_EQ(mask, 7u);
    EXPECT_FALSE(ColourRequestMask(7, mask));
}

TEST(GstGrabberTypes, VideoDescriptionOfTheLastAcceptedType)
{
    TLooseGrabber g(false, 0, true);
    ASSERT_TRUE(g.Accepts(Video("BGRA").c_str()));
    DssVideoInfo v = g.Grabber->VideoInfo();
    EXPECT_EQ(v.Valid, kDescriptionValid);
    EXPECT_EQ(v.Width, 32u);
    EXPECT_EQ(v.Height, 16u);
    EXPECT_EQ(v.Rate, 25u);
    EXPECT_EQ(v.Scale, 1u);
    EXPECT_EQ(v.PixelFormat, pfRGB32);
    EXPECT_EQ(v.Interlace, 0u);
    EXPECT_EQ(g.Grabber->RawFrameSize(), 32u * 4 * 16);

    ASSERT_TRUE(g.Accepts("video/x-raw,format=I420,width=33,height=10,framerate=30000/1001,"
                          "interlace-mode=interleaved,field-order=top-field-first"));
    v = g.Grabber->VideoInfo();
    EXPECT_EQ(v.PixelFormat, pfYV12);
    EXPECT_EQ(v.Rate, 30000u);
    EXPECT_EQ(v.Scale, 1001u);
    EXPECT_EQ(v.Interlace, uint32_t(ifField1First));
    EXPECT_EQ(g.Grabber->RawFrameSize(), 36u * 10 * 3 / 2); // luma lines rounded up to 4 bytes

    ASSERT_TRUE(g.Accepts("video/x-raw(format:Interlaced),format=YUY2,width=8,height=8,framerate=0/1,"
                          "interlace-mode=alternate"));
    v = g.Grabber->VideoInfo();
    EXPECT_EQ(v.Rate, 1u);
    EXPECT_EQ(v.Scale, 0u); // no frame rate in the type
    EXPECT_EQ(v.Interlace, uint32_t(ifField2First | ifOneFieldPerSample));

    ASSERT_TRUE(g.Accepts(Video("BGR").c_str()));
    EXPECT_EQ(g.Grabber->VideoInfo().PixelFormat, pfRGB24);
    EXPECT_EQ(g.Grabber->RawFrameSize(), 96u * 16);
}

TEST(GstGrabberTypes, AudioSampleTypes)
{
    TLooseGrabber g(true, 0);
    struct TCase { const char *format; uint32_t type; };
    for (TCase c : {TCase{"U8", stInt8}, {"S16LE", stInt16}, {"S24LE", stInt24}, {"S32LE", stInt32}, {"F32LE", stFloat32}}) {
        const std::string caps = std::string("audio/x-raw,format=") + c.format + ",layout=interleaved,rate=22050,channels=6";
        ASSERT_TRUE(g.Accepts(caps.c_str())) << c.format;
        const DssAudioInfo a = g.Grabber->AudioInfo();
        EXPECT_EQ(a.Valid, kDescriptionValid);
        EXPECT_EQ(a.SampleType, c.type);
        EXPECT_EQ(a.SampleRate, 22050u);
        EXPECT_EQ(a.Channels, 6u);
    }
    // 24 valid bits in 32-bit containers, big-endian, 64-bit float and planar audio are refused.
    for (const char *caps : {"audio/x-raw,format=S24_32LE,layout=interleaved,rate=48000,channels=2",
                             "audio/x-raw,format=S16BE,layout=interleaved,rate=48000,channels=2",
                             "audio/x-raw,format=F64LE,layout=interleaved,rate=48000,channels=2",
                             "audio/x-raw,format=S16LE,layout=non-interleaved,rate=48000,channels=2"})
        EXPECT_FALSE(g.Accepts(caps)) << caps;
    EXPECT_FALSE(g.Accepts(Video("BGR").c_str()));
    EXPECT_FALSE(g.Accepts("audio/x-raw(memory:GLMemory),format=S16LE,layout=interleaved,rate=48000,channels=2"));

    // A frame-copying grabber never takes audio.
    TLooseGrabber copying(true, 0, true);
    EXPECT_FALSE(copying.Accepts("audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=2"));
}

namespace {

// appsrc ! grabber, running without a clock.
class TFedGrabber {
public:
    explicit TFedGrabber(const char *caps)
    {
        gst_init(nullptr, nullptr);
        FPipeline = gst_pipeline_new(nullptr);
        gst_object_ref_sink(FPipeline);
        FSource = gst_element_factory_make("appsrc", nullptr);
        Grabber = TGetSample::Create(true, 0, false);
        GstCaps *c = gst_caps_from_string(caps);
        g_object_set(FSource, "caps", c, "format", GST_FORMAT_TIME, nullptr);
        gst_caps_unref(c);
        gst_bin_add_many(GST_BIN(FPipeline), FSource, Grabber->Element(), nullptr);
        gst_element_link(FSource, Grabber->Element());
        gst_pipeline_use_clock(GST_PIPELINE(FPipeline), nullptr);
        Grabber->SetPipeline(FPipeline);
    }
    ~TFedGrabber()
    {
        Grabber->StopGraph();
        gst_object_unref(FPipeline);
    }
    // Pushes a buffer of bytes with the given times (ns, or GST_CLOCK_TIME_NONE).
    void Push(const std::vector<uint8_t> &bytes, GstClockTime pts, GstClockTime duration)
    {
        GstBuffer *b = gst_buffer_new_allocate(nullptr, bytes.size(), nullptr);
        gst_buffer_fill(b, 0, bytes.data(), bytes.size());
        GST_BUFFER_PTS(b) = pts;
        GST_BUFFER_DURATION(b) = duration;
        gst_app_src_push_buffer(GST_APP_SRC(FSource), b);
    }
    void EndOfStream() { gst_app_src_end_of_stream(GST_APP_SRC(FSource)); }

    TGetSample *Grabber;

private:
    GstElement *FPipeline;
    GstElement *FSource;
};

} // namespace

TEST(GstGrabberHandOver, BufferTimesDurationsAndBoundedWaits)
{
    TFedGrabber fed("audio/x-raw,format=S16LE,layout=interleaved,rate=44100,channels=2");
    std::vector<uint8_t> first(17640), second(8820), third(4410 * 4);
    for (size_t i = 0; i < first.size(); ++i)
        first[i] = uint8_t(i);
    second.assign(second.size(), 2);
    third.assign(third.size(), 3);
    // 17,640 bytes of 16-bit stereo at 44,100 Hz last 0.1 s (1,000,000 units of 100 ns).
    fed.Push(first, 0, GST_CLOCK_TIME_NONE);
    fed.Push(second, 200 * GST_MSECOND, 50 * GST_MSECOND);
    fed.Push(third, GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE);
    ASSERT_TRUE(fed.Grabber->RunGraph());

    int timeout = 5000;
    ASSERT_FALSE(fed.Grabber->WaitSample(timeout)) << "first buffer within 5 s";
    EXPECT_EQ(fed.Grabber->CurrentStart(), 0);
    EXPECT_EQ(fed.Grabber->CurrentEnd(), 1000000);
    ASSERT_EQ(fed.Grabber->CurrentLength(), first.size());
    EXPECT_EQ(0, std::memcmp(fed.Grabber->CurrentData(), first.data(), first.size()));

    ASSERT_TRUE(fed.Grabber->NextSample(timeout));
    EXPECT_EQ(fed.Grabber->CurrentStart(), 2000000);
    EXPECT_EQ(fed.Grabber->CurrentEnd(), 2500000);
    EXPECT_EQ(fed.Grabber->CurrentData()[0], 2);

    // Without any time the buffer continues at the previous stop.
    ASSERT_TRUE(fed.Grabber->NextSample(timeout));
    EXPECT_EQ(fed.Grabber->CurrentStart(), 2500000);
    EXPECT_EQ(fed.Grabber->CurrentEnd(), 3500000);
    EXPECT_EQ(timeout, 5000);

    // Nothing more arrives: the wait gives up after the time-out and shortens later waits.
    timeout = 200;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(fed.Grabber->NextSample(timeout));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    EXPECT_EQ(timeout, kShortTimeout);
    EXPECT_TRUE(fed.Grabber->WaitSample(timeout)) << "still waiting for a buffer";

    // The end of the stream ends every wait at once.
    fed.EndOfStream();
    timeout = 5000;
    const auto eos = std::chrono::steady_clock::now();
    EXPECT_FALSE(fed.Grabber->NextSample(timeout));
    EXPECT_LT(std::chrono::steady_clock::now() - eos, std::chrono::seconds(3));
}

TEST(GstGrabberHandOver, StopReleasesAHeldBuffer)
{
    TFedGrabber fed("audio/x-raw,format=U8,layout=interleaved,rate=8000,channels=1");
    fed.Push(std::vector<uint8_t>(800, 128), 0, GST_CLOCK_TIME_NONE);
    fed.Push(std::vector<uint8_t>(800, 129), GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE);
    ASSERT_TRUE(fed.Grabber->RunGraph());
    int timeout = 5000;
    ASSERT_FALSE(fed.Grabber->WaitSample(timeout));
    EXPECT_EQ(fed.Grabber->CurrentEnd(), 1000000);
    // The streaming thread is blocked holding the buffer; stopping must not hang.
    const auto before = std::chrono::steady_clock::now();
    fed.Grabber->StopGraph();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    EXPECT_FALSE(fed.Grabber->NextSample(timeout));
}

TEST(GstGrabberHandOver, SeekThatCannotPositionKeepsTheStreamGoing)
{
    // A live stream cannot be repositioned: SeekTo answers 1 and buffers keep coming.
    TFedGrabber fed("audio/x-raw,format=S16LE,layout=interleaved,rate=8000,channels=1");
    fed.Push(std::vector<uint8_t>(1600, 1), 0, GST_CLOCK_TIME_NONE);
    ASSERT_TRUE(fed.Grabber->RunGraph());
    int timeout = 5000;
    ASSERT_FALSE(fed.Grabber->WaitSample(timeout));
    EXPECT_EQ(fed.Grabber->SeekTo(5000000), 1);
    fed.Push(std::vector<uint8_t>(1600, 2), GST_CLOCK_TIME_NONE, GST_CLOCK_TIME_NONE);
    ASSERT_FALSE(fed.Grabber->WaitSample(timeout));
    EXPECT_EQ(fed.Grabber->CurrentData()[0], 2);
    EXPECT_EQ(fed.Grabber->CurrentStart(), 1000000);
    EXPECT_EQ(fed.Grabber->CurrentEnd(), 2000000);
}
