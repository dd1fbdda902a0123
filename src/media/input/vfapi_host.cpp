// The reader plug-in host: table building, claims, and reads through the plug-ins with
// the host's own checks on every size, length and format a plug-in reports.
#include "media/input/vfapi_host.h"
#include "media/input/wave_format.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

#include "media/input/source_kind.h"
#include "platform/dynamic_library.h"
#include "platform/registry.h"
#include "platform/text_util.h"

namespace tessaly {

namespace {

constexpr size_t kMaxPlugins = 65535;
constexpr uint32_t kMaxDimension = 32768;
constexpr uint64_t kMaxFrameBytes = uint64_t(1) << 30;
constexpr uint32_t kMaxChannels = 64;

struct TPluginEntry {
    std::string Name, Path;
    TDynamicLibrary Library;
    VfPluginInfo Info{};
    VfPluginFunc Func{};
    bool HasRiff = false;
    VfRiffFunc RiffFunc{};
    bool HasAudioExt = false;
    VfAudioFunc AudioFunc{};
};

// The one process-wide plug-in table. Generation grows with every unload so that handles
// opened before can tell their plug-in is gone.
struct TPluginTable {
    std::vector<std::unique_ptr<TPluginEntry>> Entries;
    bool Loaded = false;
    uint64_t Generation = 1;
};

TPluginTable &Table()
{
    static TPluginTable table;
    return table;
}

const TPluginEntry *Entry(int i)
{
    TPluginTable &t = Table();
    return i >= 0 && size_t(i) < t.Entries.size() ? t.Entries[size_t(i)].get() : nullptr;
}

// Loads one candidate; null when any step fails (the library is then released).
std::unique_ptr<TPluginEntry> LoadCandidate(const std::string &line)
{
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        return nullptr;
    auto e = std::make_unique<TPluginEntry>();
    e->Name = TrimText(line.substr(0, eq), kLineBlanks).substr(0, 31);
    e->Path = TrimText(line.substr(eq + 1), kLineBlanks).substr(0, 255);
    if (e->Name.empty() || e->Path.empty() || !e->Library.Load(e->Path))
        return nullptr;
    auto getInfo = e->Library.Function<VfGetPluginInfoProc>(VF_EXPORT_PLUGIN_INFO);
    auto getFunc = e->Library.Function<VfGetPluginFuncProc>(VF_EXPORT_PLUGIN_FUNC);
    if (!getInfo || !getFunc)
        return nullptr;
    e->Info.size = sizeof(VfPluginInfo);
    e->Func.size = sizeof(VfPluginFunc);
    if (getInfo(&e->Info) != VF_OK || getFunc(&e->Func) != VF_OK)
        return nullptr;
    const VfPluginFunc &f = e->Func;
    if (!f.OpenFile || !f.CloseFile || !f.GetFileInfo || !f.GetStreamInfo || !f.ReadData)
        return nullptr;
    // A plug-in that forgets the terminating zero must not make the host read past its texts.
    e->Info.infoText[sizeof e->Info.infoText - 1] = 0;
    e->Info.fileTypes[sizeof e->Info.fileTypes - 1] = 0;
    if (auto getRiff = e->Library.Function<VfGetPluginRiffFuncProc>(VF_EXPORT_PLUGIN_RIFF_FUNC)) {
        e->RiffFunc.size = sizeof(VfRiffFunc);
        const VfRiffFunc &r = e->RiffFunc;
        e->HasRiff = getRiff(&e->RiffFunc) == VF_OK && r.GetRiffInfo && r.SelectStream && r.GetStreamHeader &&
                     r.ReadChunk && r.ReadStreamData && r.IsKeyFrame;
        if (!e->HasRiff)
            e->RiffFunc = VfRiffFunc{};
    }
    if (auto getAudio = e->Library.Function<VfGetPluginAudioFuncProc>(VF_EXPORT_PLUGIN_AUDIO_FUNC)) {
        e->AudioFunc.size = sizeof(VfAudioFunc);
        e->HasAudioExt = getAudio(&e->AudioFunc) == VF_OK && e->AudioFunc.GetSourceLayout &&
                         e->AudioFunc.SelectDelivery;
        if (!e->HasAudioExt)
            e->AudioFunc = VfAudioFunc{};
    }
    return e;
}

// Pattern or extension reduced for comparison: without \/.:*?"<>| and blanks, upper-cased.
std::string Reduced(const std::string &s)
{
    std::string out;
    for (char c : s)
        if (!std::strchr("\\/.:*?\"<>| \t", c))
            out += c;
    return UpperText(out);
}

std::vector<std::string> Split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t p = s.find(sep, start);
        parts.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos)
            return parts;
        start = p + 1;
    }
}

bool Admitted(const TPluginEntry &e, uint32_t typeMask, int accessLevel)
{
    return (e.Info.streamTypes & typeMask) != 0 && (e.HasRiff || accessLevel < 2);
}

uint32_t RowBytes(uint32_t width, uint32_t bits) { return uint32_t((uint64_t(width) * bits + 31) / 32 * 4); }

} // namespace

// ---- Table ----

void LoadPlugins(const std::string &registryFile)
{
    if (!Table().Loaded)
        LoadPluginsFrom(ReadPluginRegistry(registryFile));
}

void LoadPluginsFrom(const std::vector<std::string> &lines)
{
    TPluginTable &t = Table();
    if (t.Loaded)
        return;
    for (size_t i = 0; i < lines.size() && i < kMaxPlugins; ++i)
        if (auto e = LoadCandidate(lines[i]))
            t.Entries.push_back(std::move(e));
    t.Loaded = true;
}

void UnloadPlugins()
{
    TPluginTable &t = Table();
    while (!t.Entries.empty())
        t.Entries.pop_back();
    t.Loaded = false;
    ++t.Generation;
}

bool PluginsLoaded() { return Table().Loaded; }
int PluginCount() { return int(Table().Entries.size()); }
std::string PluginName(int i) { return Entry(i) ? Entry(i)->Name : std::string(); }
uint32_t PluginStreamTypes(int i) { return Entry(i) ? Entry(i)->Info.streamTypes : 0; }
bool PluginHasVideo(int i) { return (PluginStreamTypes(i) & VF_STREAM_VIDEO) != 0; }
bool PluginHasAudio(int i) { return (PluginStreamTypes(i) & VF_STREAM_AUDIO) != 0; }
std::string PluginInfoText(int i) { return Entry(i) ? std::string(Entry(i)->Info.infoText) : std::string(); }
std::string PluginFileTypes(int i) { return Entry(i) ? std::string(Entry(i)->Info.fileTypes) : std::string(); }
bool PluginHasRiff(int i) { return Entry(i) && Entry(i)->HasRiff; }
std::string PluginFilterLabel(int i) { return Split(PluginFileTypes(i), '|').front(); }
std::string PluginPatternList(int i) { return Split(PluginFileTypes(i), '|').back(); }

bool PluginClaimsFile(int i, const std::string &fileList, uint32_t typeMask, int accessLevel)
{
    const TPluginEntry *e = Entry(i);
    if (!e || !Admitted(*e, typeMask, accessLevel))
        return false;
    std::vector<std::string> files = SplitFileList(fileList);
    if (files.empty())
        return false;
    std::string ext = Reduced(UpperExtension(files[0]));
    for (const std::string &p : Split(PluginPatternList(i), ';'))
        if (Reduced(p) == ext)
            return true;
    return false;
}

int FindPlugin(const std::string &fileList, uint32_t typeMask, int accessLevel)
{
    for (int i = 0; i < PluginCount(); ++i)
        if (PluginClaimsFile(i, fileList, typeMask, accessLevel))
            return i;
    return -1;
}

std::string PluginPatterns(uint32_t typeMask, int accessLevel)
{
    std::vector<std::string> seen;
    std::string out;
    for (int i = 0; i < PluginCount(); ++i) {
        if (!Admitted(*Entry(i), typeMask, accessLevel))
            continue;
        for (const std::string &raw : Split(PluginPatternList(i), ';')) {
            std::string p = TrimText(raw, kLineBlanks);
            std::transform(p.begin(), p.end(), p.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            if (p.empty() || std::find(seen.begin(), seen.end(), p) != seen.end())
                continue;
            seen.push_back(p);
            out += (out.empty() ? "" : ";") + p;
        }
    }
    return out;
}

// ---- Handles ----

struct VfHostHandle {
    VF_FileHandle PluginHandle = 0;
    VfFileInfo FileInfo{};
    VfVideoStreamInfo Video{};
    VfAudioStreamInfo Audio{};
    std::vector<uint8_t> FrameBuffer, ConvertedFrame, AudioBuffer;
    int Plugin = -1;
    uint64_t Generation = 0;
    bool Ok = false;
    bool TopDown = false;
    bool Riff = false;
    bool WideAudio = false;   // the plug-in delivers every channel and/or 24 bits
    uint32_t ChannelMask = 0; // WAVE speaker mask of that delivery (0: the usual one)
    TMediaError Status = meOk;
};

namespace {

// The plug-in of a handle while the table that opened it is still loaded.
const TPluginEntry *PluginOf(const VfHostHandle *h)
{
    if (!h || h->Generation != Table().Generation)
        return nullptr;
    return Entry(h->Plugin);
}

bool Fail(VfHostHandle *h, TMediaError code)
{
    if (h)
        h->Status = code;
    return false;
}

// Nonsense checks on what a plug-in reports about its streams.
bool VideoInfoSane(const VfVideoStreamInfo &v)
{
    return v.width >= 1 && v.width <= kMaxDimension && v.height >= 1 && v.height <= kMaxDimension &&
           v.bitCount >= 1 && v.bitCount <= 32 && v.rate > 0 && v.scale > 0 &&
           uint64_t(RowBytes(v.width, v.bitCount)) * v.height <= kMaxFrameBytes;
}

bool AudioInfoSane(const VfAudioStreamInfo &a)
{
    return a.channels >= 1 && a.channels <= kMaxChannels && a.bitsPerSample >= 8 && a.bitsPerSample <= 32 &&
           a.bitsPerSample % 8 == 0 && a.blockAlign == a.channels * a.bitsPerSample / 8 && a.scale > 0 &&
           a.rate / a.scale > 0 && (a.lengthHigh & 0x80000000u) == 0;
}

int64_t AudioLength(const VfAudioStreamInfo &a) { return int64_t((uint64_t(a.lengthHigh) << 32) | a.lengthLow); }

int64_t VideoLength(const VfVideoStreamInfo &v)
{
    return v.lengthHigh ? INT64_MAX : int64_t(v.lengthLow);
}

bool FileExists(const std::string &name)
{
    struct stat st;
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace

namespace {
void SelectFullAudio(const TPluginEntry &e, VfHostHandle &h);
} // namespace

VfHostHandle *VfOpen(int plugin, const std::string &rawName, TMediaError &status)
{
    std::string name = TrimText(rawName, kLineBlanks);
    const TPluginEntry *e = Entry(plugin);
    if (name.empty() || !e) {
        status = meParam;
        return nullptr;
    }
    if (!FileExists(name)) {
        status = meFileNotFound;
        return nullptr;
    }
    auto h = std::unique_ptr<VfHostHandle>(new (std::nothrow) VfHostHandle);
    if (!h) {
        status = meMemory;
        return nullptr;
    }
    h->Plugin = plugin;
    h->Generation = Table().Generation;
    VF_FileHandle ph = 0;
    if (e->Func.OpenFile(name.c_str(), &ph) != VF_OK || ph == 0) {
        status = meFileOpen;
        return nullptr;
    }
    h->PluginHandle = ph;
    TVfHandlePtr guard(h.release()); // closes the plug-in's file on every failure below
    VfHostHandle *g = guard.get();
    g->FileInfo.size = sizeof(VfFileInfo);
    if (e->Func.GetFileInfo(ph, &g->FileInfo) != VF_OK) {
        status = meFileFormat;
        return nullptr;
    }
    g->FileInfo.hasStreams &= VF_STREAM_VIDEO | VF_STREAM_AUDIO;
    if (g->FileInfo.hasStreams & VF_STREAM_VIDEO) {
        g->Video.size = sizeof(VfVideoStreamInfo);
        if (e->Func.GetStreamInfo(ph, VF_STREAM_VIDEO, &g->Video) != VF_OK || !VideoInfoSane(g->Video)) {
            status = meStreamFormat;
            return nullptr;
        }
    }
    if (g->FileInfo.hasStreams & VF_STREAM_AUDIO) {
        g->Audio.size = sizeof(VfAudioStreamInfo);
        if (e->Func.GetStreamInfo(ph, VF_STREAM_AUDIO, &g->Audio) != VF_OK || !AudioInfoSane(g->Audio)) {
            status = meStreamFormat;
            return nullptr;
        }
    }
    if ((g->FileInfo.hasStreams & VF_STREAM_AUDIO) && e->HasAudioExt)
        SelectFullAudio(*e, *g);
    g->Ok = true;
    g->Status = meOk;
    if (e->HasRiff) {
        VfRiffInfo info{};
        info.size = sizeof info;
        g->Riff = e->RiffFunc.GetRiffInfo(ph, &info) == VF_OK;
    }
    status = meOk;
    return guard.release();
}

namespace {
// Asks a plug-in with the audio extension for every channel of a multichannel source and 24
// bits of an integer source with more than 16, instead of its plain two-channel, 16-bit delivery.
// The handle keeps the plain delivery when the plug-in declines.
void SelectFullAudio(const TPluginEntry &e, VfHostHandle &h)
{
    VfAudioLayout source{};
    source.size = sizeof source;
    if (e.AudioFunc.GetSourceLayout(h.PluginHandle, &source) != VF_OK || source.channels == 0 ||
        source.channels > 64)
        return;
    // Integer samples of more than 16 bits keep 24 of them; floating point (what lossy
    // decoders deliver) becomes 16-bit PCM as before.
    const bool wide = source.bitsPerSample > 16 && !source.floatingPoint;
    if (source.channels <= 2 && !wide)
        return;
    VfAudioLayout wanted{};
    wanted.size = sizeof wanted;
    wanted.channels = source.channels > 2 ? source.channels : h.Audio.channels;
    wanted.bitsPerSample = wide ? 24 : 16;
    VfAudioStreamInfo audio{};
    audio.size = sizeof audio;
    if (e.AudioFunc.SelectDelivery(h.PluginHandle, &wanted) != VF_OK ||
        e.Func.GetStreamInfo(h.PluginHandle, VF_STREAM_AUDIO, &audio) != VF_OK || !AudioInfoSane(audio) ||
        audio.channels != wanted.channels || audio.bitsPerSample != wanted.bitsPerSample) {
        // Back to the plain delivery the handle was opened with.
        VfAudioLayout plain{sizeof plain, h.Audio.channels, 0, h.Audio.bitsPerSample, 0};
        e.AudioFunc.SelectDelivery(h.PluginHandle, &plain);
        return;
    }
    h.Audio = audio;
    h.WideAudio = true;
    h.ChannelMask = source.channels > 2 ? source.channelMask : 0;
}
} // namespace

void VfClose(VfHostHandle *h)
{
    if (!h)
        return;
    if (const TPluginEntry *e = PluginOf(h); e && h->PluginHandle != 0)
        e->Func.CloseFile(h->PluginHandle);
    delete h;
}

int HandlePlugin(const VfHostHandle *h) { return h ? h->Plugin : -1; }
TMediaError HandleStatus(const VfHostHandle *h) { return h ? h->Status : meHandle; }
bool HasVideo(const VfHostHandle *h) { return h && h->Ok && (h->FileInfo.hasStreams & VF_STREAM_VIDEO); }
bool HasAudio(const VfHostHandle *h) { return h && h->Ok && (h->FileInfo.hasStreams & VF_STREAM_AUDIO); }
VfVideoStreamInfo VideoInfo(const VfHostHandle *h) { return HasVideo(h) ? h->Video : VfVideoStreamInfo{}; }
VfAudioStreamInfo AudioInfo(const VfHostHandle *h) { return HasAudio(h) ? h->Audio : VfAudioStreamInfo{}; }
void SetTopDown(VfHostHandle *h, bool topDown)
{
    if (h)
        h->TopDown = topDown;
}
bool HasRiff(const VfHostHandle *h) { return h && h->Ok && h->Riff && PluginOf(h); }

// ---- Video ----

uint32_t VideoFrameSize(const VfHostHandle *h)
{
    return HasVideo(h) ? RowBytes(h->Video.width, h->Video.bitCount) * h->Video.height : 0;
}

uint32_t ReadVideoFrame(VfHostHandle *h, int32_t frame, void *buffer, uint32_t bufferSize)
{
    if (!HasVideo(h))
        return Fail(h, meNoVideoStream);
    uint32_t size = VideoFrameSize(h);
    if (!buffer || bufferSize < size)
        return Fail(h, meBufSize);
    uint8_t *out = static_cast<uint8_t *>(buffer);
    if (frame < 0 || frame >= VideoLength(h->Video)) {
        std::memset(out, 0, size);
        return size;
    }
    const TPluginEntry *e = PluginOf(h);
    if (!e)
        return Fail(h, meHandle);
    int32_t row = int32_t(RowBytes(h->Video.width, h->Video.bitCount));
    VfVideoReadData rd{};
    rd.size = sizeof rd;
    rd.frameLow = uint32_t(frame);
    rd.data = h->TopDown ? out : out + size_t(row) * (h->Video.height - 1);
    rd.pitch = h->TopDown ? row : -row;
    if (e->Func.ReadData(h->PluginHandle, VF_STREAM_VIDEO, &rd) != VF_OK)
        return Fail(h, meStreamFormat);
    return size;
}

uint32_t VideoHeader24(const VfHostHandle *h, BITMAPINFOHEADER *header)
{
    if (header) {
        *header = BITMAPINFOHEADER{};
        header->biSize = 40;
        header->biWidth = int32_t(h ? h->Video.width : 0);
        header->biHeight = int32_t(h ? h->Video.height : 0);
        header->biPlanes = 1;
        header->biBitCount = 24;
        header->biCompression = BI_RGB;
        header->biSizeImage = FrameSize24(h);
        header->biXPelsPerMeter = 3780;
        header->biYPelsPerMeter = 3780;
    }
    return 40;
}

uint32_t FrameSize24(const VfHostHandle *h)
{
    return HasVideo(h) ? RowBytes(h->Video.width, 24) * h->Video.height : 0;
}

uint32_t ReadFrame24(VfHostHandle *h, int32_t frame, void *buffer, uint32_t bufferSize)
{
    if (!HasVideo(h))
        return Fail(h, meNoVideoStream);
    uint32_t bits = h->Video.bitCount;
    if (bits != 24 && bits != 32)
        return Fail(h, meFrameFormat);
    uint32_t size = FrameSize24(h);
    if (!buffer || bufferSize < size)
        return Fail(h, meBufSize);
    if (bits == 24)
        return ReadVideoFrame(h, frame, buffer, bufferSize);
    h->FrameBuffer.resize(VideoFrameSize(h));
    if (!ReadVideoFrame(h, frame, h->FrameBuffer.data(), uint32_t(h->FrameBuffer.size())))
        return 0;
    uint32_t inRow = RowBytes(h->Video.width, 32), outRow = RowBytes(h->Video.width, 24);
    uint8_t *out = static_cast<uint8_t *>(buffer);
    for (uint32_t y = 0; y < h->Video.height; ++y) {
        const uint8_t *s = h->FrameBuffer.data() + size_t(y) * inRow;
        uint8_t *d = out + size_t(y) * outRow;
        for (uint32_t x = 0; x < h->Video.width; ++x, s += 4, d += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
        std::memset(d, 0, outRow - h->Video.width * 3);
    }
    return size;
}

uint32_t ReadFrame24Buffered(VfHostHandle *h, int32_t frame, const uint8_t **data)
{
    if (data)
        *data = nullptr;
    if (!HasVideo(h))
        return Fail(h, meNoVideoStream);
    h->ConvertedFrame.resize(FrameSize24(h));
    uint32_t n = ReadFrame24(h, frame, h->ConvertedFrame.data(), uint32_t(h->ConvertedFrame.size()));
    if (n && data)
        *data = h->ConvertedFrame.data();
    return n;
}

// ---- Audio ----

uint32_t ReadAudio(VfHostHandle *h, int64_t first, uint32_t count, void *buffer, uint32_t bufferSize)
{
    if (!HasAudio(h))
        return Fail(h, meNoAudioStream);
    uint64_t block = h->Audio.blockAlign;
    uint64_t bytes = block * count;
    if (bytes > UINT32_MAX)
        return Fail(h, meParam);
    if (!buffer || bufferSize < bytes)
        return Fail(h, meBufSize);
    uint8_t *out = static_cast<uint8_t *>(buffer);
    std::memset(out, h->Audio.bitsPerSample == 8 ? 128 : 0, size_t(bytes));
    int64_t length = AudioLength(h->Audio);
    int64_t from = std::max<int64_t>(first, 0);
    int64_t to = first >= length ? first : std::min<int64_t>(first + int64_t(count), length);
    if (from >= to)
        return uint32_t(bytes);
    const TPluginEntry *e = PluginOf(h);
    if (!e)
        return Fail(h, meHandle);
    uint32_t n = uint32_t(to - from);
    VfAudioReadData rd{};
    rd.size = sizeof rd;
    rd.firstLow = uint32_t(uint64_t(from));
    rd.firstHigh = uint32_t(uint64_t(from) >> 32);
    rd.sampleCount = n;
    rd.bufferSize = uint32_t(n * block);
    rd.buffer = out + (from - first) * int64_t(block);
    if (e->Func.ReadData(h->PluginHandle, VF_STREAM_AUDIO, &rd) != VF_OK || rd.samplesRead > n)
        return Fail(h, meStreamFormat);
    // A short delivery leaves the rest silent rather than holding stale bytes.
    uint8_t *tail = static_cast<uint8_t *>(rd.buffer) + size_t(rd.samplesRead * block);
    std::memset(tail, h->Audio.bitsPerSample == 8 ? 128 : 0, size_t((n - rd.samplesRead) * block));
    return uint32_t(bytes);
}

uint32_t AudioFormat(const VfHostHandle *h, WAVEFORMATEX *format)
{
    if (!HasAudio(h))
        return 0;
    if (format) {
        uint16_t bits = h->WideAudio ? uint16_t(h->Audio.bitsPerSample) : h->Audio.bitsPerSample == 8 ? 8 : 16;
        *format = WAVEFORMATEX{};
        format->wFormatTag = WAVE_FORMAT_PCM;
        format->nChannels = uint16_t(h->Audio.channels);
        format->wBitsPerSample = bits;
        format->nBlockAlign = uint16_t(bits * h->Audio.channels / 8);
        format->nSamplesPerSec = h->Audio.rate / h->Audio.scale;
        format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
        format->cbSize = 0;
    }
    return sizeof(WAVEFORMATEX);
}

uint64_t AudioBytes(const VfHostHandle *h, uint32_t count)
{
    if (!HasAudio(h))
        return 0;
    if (h->WideAudio)
        return uint64_t(count) * h->Audio.blockAlign;
    return uint64_t(count) * (h->Audio.bitsPerSample == 8 ? 1u : 2u) * h->Audio.channels;
}

std::vector<uint8_t> AudioFormatBytes(const VfHostHandle *h)
{
    WAVEFORMATEX format{};
    if (AudioFormat(h, &format) == 0)
        return {};
    if (!h->WideAudio) {
        std::vector<uint8_t> plain(sizeof format);
        std::memcpy(plain.data(), &format, sizeof format);
        return plain;
    }
    return ResultWaveFormat(format, h->ChannelMask);
}

uint32_t ReadAudioPcm(VfHostHandle *h, int64_t first, uint32_t count, void *buffer, uint32_t bufferSize)
{
    if (!HasAudio(h))
        return Fail(h, meNoAudioStream);
    uint32_t bits = h->Audio.bitsPerSample;
    if (bits == 8 || bits == 16 || h->WideAudio)
        return ReadAudio(h, first, count, buffer, bufferSize);
    if (bits != 24 && bits != 32)
        return Fail(h, meAudioFormat);
    uint64_t outBytes = AudioBytes(h, count);
    if (!buffer || bufferSize < outBytes)
        return Fail(h, meBufSize);
    uint64_t inBytes = uint64_t(count) * h->Audio.blockAlign;
    if (inBytes > UINT32_MAX)
        return Fail(h, meParam);
    h->AudioBuffer.resize(size_t(inBytes));
    if (!ReadAudio(h, first, count, h->AudioBuffer.data(), uint32_t(inBytes)))
        return 0;
    size_t values = size_t(count) * h->Audio.channels, step = bits / 8;
    const uint8_t *s = h->AudioBuffer.data() + step - 2;
    uint8_t *d = static_cast<uint8_t *>(buffer);
    for (size_t i = 0; i < values; ++i, s += step, d += 2) {
        d[0] = s[0];
        d[1] = s[1];
    }
    return uint32_t(outBytes);
}

// ---- RIFF extension ----

namespace {
const TPluginEntry *RiffPlugin(VfHostHandle *h)
{
    if (!HasRiff(h)) {
        Fail(h, meUnsupported);
        return nullptr;
    }
    return PluginOf(h);
}
} // namespace

bool RiffInfo(VfHostHandle *h, VfRiffInfo &info)
{
    info = VfRiffInfo{};
    const TPluginEntry *e = RiffPlugin(h);
    info.size = sizeof info;
    if (!e)
        return false;
    if (e->RiffFunc.GetRiffInfo(h->PluginHandle, &info) != VF_OK) {
        info = VfRiffInfo{};
        return Fail(h, meNoData);
    }
    info.fileInfo.szFileType[sizeof info.fileInfo.szFileType - 1] = 0;
    return true;
}

bool RiffSelectStream(VfHostHandle *h, uint32_t kind, uint32_t index)
{
    const TPluginEntry *e = RiffPlugin(h);
    if (!e)
        return false;
    if (e->RiffFunc.SelectStream(h->PluginHandle, kind, index) != VF_OK)
        return Fail(h, meParam);
    return true;
}

bool RiffStreamHeader(VfHostHandle *h, uint32_t selector, VfRiffStreamHeader &header)
{
    header = VfRiffStreamHeader{};
    const TPluginEntry *e = RiffPlugin(h);
    header.size = sizeof header;
    if (!e)
        return false;
    if (e->RiffFunc.GetStreamHeader(h->PluginHandle, selector, &header) != VF_OK) {
        header = VfRiffStreamHeader{};
        return Fail(h, meNoData);
    }
    header.streamInfo.szName[sizeof header.streamInfo.szName - 1] = 0;
    return true;
}

uint32_t RiffReadChunk(VfHostHandle *h, uint32_t selector, uint32_t chunkId, void *buffer, uint32_t bufferSize)
{
    const TPluginEntry *e = RiffPlugin(h);
    if (!e)
        return 0;
    VfRiffChunk c{};
    c.size = sizeof c;
    c.chunkId = chunkId;
    if (e->RiffFunc.ReadChunk(h->PluginHandle, selector, &c) != VF_OK)
        return Fail(h, meNoData);
    uint32_t length = c.length;
    if (!buffer || length == 0)
        return length;
    if (length > bufferSize)
        return Fail(h, meBufSize);
    c = VfRiffChunk{};
    c.size = sizeof c;
    c.chunkId = chunkId;
    c.bufferSize = length;
    c.buffer = buffer;
    if (e->RiffFunc.ReadChunk(h->PluginHandle, selector, &c) != VF_OK)
        return Fail(h, meFileRead);
    if (c.length > length)
        return Fail(h, meDataSize);
    return c.length;
}

uint32_t RiffReadStream(VfHostHandle *h, uint32_t selector, uint32_t first, void *buffer, uint32_t bufferSize,
                        int32_t count)
{
    const TPluginEntry *e = RiffPlugin(h);
    if (!e)
        return 0;
    VfRiffRead r{};
    r.size = sizeof r;
    r.start = first;
    r.count = count;
    if (e->RiffFunc.ReadStreamData(h->PluginHandle, selector, &r) != VF_OK)
        return Fail(h, meFileRead);
    uint32_t size = r.bytesRead;
    if (!buffer || size == 0)
        return size;
    r = VfRiffRead{};
    r.size = sizeof r;
    r.start = first;
    r.count = count;
    r.bufferSize = std::min(size, bufferSize);
    r.buffer = buffer;
    if (e->RiffFunc.ReadStreamData(h->PluginHandle, selector, &r) != VF_OK)
        return Fail(h, meFileRead);
    if (r.bytesRead > r.bufferSize)
        return Fail(h, meDataSize);
    return r.bytesRead;
}

bool RiffIsKeyFrame(VfHostHandle *h, uint32_t selector, uint32_t sample)
{
    const TPluginEntry *e = RiffPlugin(h);
    return e && e->RiffFunc.IsKeyFrame(h->PluginHandle, selector, sample) != 0;
}

uint32_t RiffVideoFormat(VfHostHandle *h, void *buffer, uint32_t bufferSize)
{
    return RiffReadChunk(h, VF_RIFF_SELECT_VIDEO, TESSALY_FCC('s', 't', 'r', 'f'), buffer, bufferSize);
}

uint32_t RiffAudioFormat(VfHostHandle *h, void *buffer, uint32_t bufferSize)
{
    return RiffReadChunk(h, VF_RIFF_SELECT_AUDIO, TESSALY_FCC('s', 't', 'r', 'f'), buffer, bufferSize);
}

uint32_t RiffVideoCodecData(VfHostHandle *h, void *buffer, uint32_t bufferSize)
{
    return RiffReadChunk(h, VF_RIFF_SELECT_VIDEO, TESSALY_FCC('s', 't', 'r', 'd'), buffer, bufferSize);
}

AVISTREAMINFO PluginAudioStreamInfo(const VfAudioStreamInfo &ai, const WAVEFORMATEX &wf)
{
    AVISTREAMINFO a{};
    a.fccType = streamtypeAUDIO;
    const bool rateOk = int32_t(ai.rate) >= 1 && int32_t(ai.scale) >= 1;
    a.dwScale = rateOk ? ai.scale : 1;
    a.dwRate = rateOk ? ai.rate : 1;
    a.dwLength = ai.lengthLow;
    a.dwSuggestedBufferSize = wf.nSamplesPerSec * wf.nBlockAlign;
    a.dwQuality = 0xFFFFFFFFu;
    a.dwSampleSize = ai.blockAlign;
    return a;
}

} // namespace tessaly
