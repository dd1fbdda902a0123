// Saved pipeline files: elements that write, send or fetch are refused by name before
// anything runs (no file written, no connection made); reading and decoding ones open.
#include "plugin_media.h"
#include "plugins/gst/dss_handle.h"
#include "plugins/gst/pipeline_guard.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

using namespace tessaly::gst;
using namespace tessaly::test;

namespace {

// A listening TCP socket on the loopback address; tells whether anyone connected.
class TListener {
public:
    TListener()
    {
        FSocket = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (FSocket < 0 || bind(FSocket, reinterpret_cast<sockaddr *>(&a), len) != 0 || listen(FSocket, 4) != 0 ||
            getsockname(FSocket, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return;
        FPort = ntohs(a.sin_port);
    }
    ~TListener()
    {
        if (FSocket >= 0)
            close(FSocket);
    }
    int Port() const { return FPort; }
    // True when a connection is waiting within `ms` milliseconds.
    bool Contacted(int ms) const
    {
        pollfd p{FSocket, POLLIN, 0};
        return poll(&p, 1, ms) > 0;
    }

private:
    int FSocket = -1;
    int FPort = 0;
};

struct TOpened {
    explicit TOpened(const std::string &grf) : H(DssOpenDefault(grf.c_str(), true, false)) {}
    ~TOpened() { DssClose(H); }
    DssHandle *H;
};

std::string WriteGrf(const TTempDir &dir, const std::string &name, const std::string &text)
{
    const std::string file = dir.File(name);
    EXPECT_TRUE(WriteFileBytes(file, std::vector<uint8_t>(text.begin(), text.end())));
    return file;
}

std::string Quoted(const std::string &path) { return "\"" + path + "\""; }

bool Admitted(const char *factoryName)
{
    GstElementFactory *f = gst_element_factory_find(factoryName);
    if (!f)
        return false;
    std::string why;
    const bool ok = PipelineElementAdmitted(f, why);
    gst_object_unref(f);
    return ok;
}

} // namespace

TEST(SavedPipelineGuard, ElementClassesAdmittedAndRefused)
{
    ASSERT_TRUE(gst_init_check(nullptr, nullptr, nullptr));
    for (const char *name : {"filesrc", "decodebin", "wavparse", "flacparse", "flacdec", "audioconvert",
                             "audioresample", "queue", "capsfilter", "matroskademux", "qtdemux"})
        EXPECT_TRUE(Admitted(name)) << name;
    for (const char *name : {"filesink", "fakesink", "tcpclientsink", "souphttpsrc", "uridecodebin", "playbin",
                             "multifilesrc", "audiotestsrc", "wavenc", "appsink", "queue2"})
        if (GstElementFactory *f = gst_element_factory_find(name)) {
            std::string why;
            EXPECT_FALSE(PipelineElementAdmitted(f, why)) << name;
            EXPECT_NE(why.find(std::string("\"") + name + "\""), std::string::npos) << why;
            gst_object_unref(f);
        }
}

TEST(SavedPipelineGuard, WritingSendingAndFetchingPipelinesAreRefusedBeforeRunning)
{
    TTempDir dir;
    const std::string wav = StereoWav();
    ASSERT_FALSE(wav.empty());

    // A branch into a file: refused, and the file never appears.
    const std::string leak = dir.File("leak.raw");
    const std::string fs = WriteGrf(dir, "write.grf",
                                    "filesrc location=" + Quoted(wav) + " ! wavparse ! tee name=t ! queue ! filesink location=" +
                                        Quoted(leak) + " t. ! queue ! audioconvert\n");
    {
        TOpened o(fs);
        EXPECT_EQ(o.H, nullptr);
    }
    EXPECT_NE(LastPipelineRefusal().find("\"filesink\""), std::string::npos) << LastPipelineRefusal();
    EXPECT_FALSE(std::filesystem::exists(leak));

    // A branch that sends to a listening socket: refused, nobody connects.
    TListener tcp;
    ASSERT_GT(tcp.Port(), 0);
    const std::string send = WriteGrf(dir, "send.grf",
                                      "filesrc location=" + Quoted(wav) +
                                          " ! wavparse ! tee name=t ! queue ! tcpclientsink host=127.0.0.1 port=" +
                                          std::to_string(tcp.Port()) + " t. ! queue ! audioconvert\n");
    {
        TOpened o(send);
        EXPECT_EQ(o.H, nullptr);
    }
    EXPECT_NE(LastPipelineRefusal().find("\"tcpclientsink\""), std::string::npos) << LastPipelineRefusal();
    EXPECT_FALSE(tcp.Contacted(300));

    // A network source, spelled as an element and as a bare address, and a URI decoder.
    TListener http;
    ASSERT_GT(http.Port(), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(http.Port()) + "/a.wav";
    const std::pair<const char *, std::string> fetching[] = {
        {"souphttpsrc", "souphttpsrc location=" + url + " ! decodebin\n"},
        {"souphttpsrc", url + " ! decodebin\n"},
        {"uridecodebin", "uridecodebin uri=" + url + "\n"},
    };
    int n = 0;
    for (const auto &[element, text] : fetching) {
        TOpened o(WriteGrf(dir, "fetch" + std::to_string(n++) + ".grf", text));
        EXPECT_EQ(o.H, nullptr) << text;
        EXPECT_NE(LastPipelineRefusal().find(element), std::string::npos) << LastPipelineRefusal();
    }
    EXPECT_FALSE(http.Contacted(300));
}

TEST(SavedPipelineGuard, FileSourceIntoDecodingBinStillOpens)
{
    TTempDir dir;
    const std::string wav = StereoWav();
    TOpened o(WriteGrf(dir, "play.grf", "filesrc location=" + Quoted(wav) + " ! decodebin\n"));
    ASSERT_NE(o.H, nullptr) << LastPipelineRefusal();
    EXPECT_TRUE(LastPipelineRefusal().empty());
    ASSERT_NE(o.H->Audio, nullptr);
    // The samples are the file's, as ffmpeg decodes them.
    const std::vector<uint8_t> ref = FfmpegDecode(wav, "-f s16le");
    ASSERT_GE(ref.size(), 4000u);
    std::vector<uint8_t> got(4000);
    ASSERT_EQ(DssReadAudio(o.H, 0, 1000, got.data()), 4000);
    EXPECT_EQ(std::memcmp(got.data(), ref.data(), got.size()), 0);
}

TEST(SavedPipelineGuard, PlaylistsAreNeverFetchedThroughDecodingBins)
{
    // An HLS playlist of one segment on a listening socket, under a name that says MP3, opened
    // as a medium and as pipeline files whose decoding bins would plug a playlist demuxer:
    // each open is refused naming the demuxer, and nobody connects.
    TTempDir dir;
    TListener http;
    ASSERT_GT(http.Port(), 0);
    const std::string playlist = dir.File("radio.mp3");
    const std::string text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\nhttp://127.0.0.1:" +
                             std::to_string(http.Port()) + "/segment0.ts\n#EXT-X-ENDLIST\n";
    ASSERT_TRUE(WriteFileBytes(playlist, std::vector<uint8_t>(text.begin(), text.end())));
    const std::string via[] = {
        playlist,
        WriteGrf(dir, "decodebin.grf", "filesrc location=" + Quoted(playlist) + " ! decodebin\n"),
        WriteGrf(dir, "decodebin3.grf", "filesrc location=" + Quoted(playlist) + " ! decodebin3\n"),
    };
    for (const std::string &file : via) {
        SetLastPipelineRefusal("");
        const auto start = std::chrono::steady_clock::now();
        TOpened o(file);
        EXPECT_EQ(o.H, nullptr) << file;
        EXPECT_NE(LastPipelineRefusal().find("hlsdemux"), std::string::npos) << file << ": " << LastPipelineRefusal();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << file;
    }
    // A URI source in front of decodebin3 is refused before anything runs.
    TOpened uri(WriteGrf(dir, "uri.grf",
                         "urisourcebin uri=http://127.0.0.1:" + std::to_string(http.Port()) + "/a.mp3 ! decodebin3\n"));
    EXPECT_EQ(uri.H, nullptr);
    EXPECT_FALSE(http.Contacted(500));
}
