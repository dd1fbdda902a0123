// The video of AVI files: TOdmlVideoSource reads through the own AVI reader (kind ODML),
// TMsvwVideoSource through the system media layer (kind MSVW). Both list every stream of
// the file, decode the selected video stream with the frame decoder and hand out each
// frame's stored data and the stream's codec data for smart rendering.
#pragma once

#include "media/input/avi2_decoder.h"
#include "media/input/avifile_frame_decoder.h"
#include "media/input/video_source.h"
#include "platform/avi_file.h"

#include <memory>
#include <string>

namespace tessaly {

class TAviVideoSource : public TVideoSource {
public:
    // Frames of the selected stream (0 before a selection).
    int32_t FrameCount() const override;
    int32_t Rate() const override;
    int32_t Scale() const override;
    uint32_t Width() const override { return OutputWidth(); }
    uint32_t Height() const override { return OutputHeight(); }
    // Frame n of the selected stream decoded into an image of the output size (24 bits when
    // converting, else the output's bit count).
    bool GetFrame(int32_t n, TIOImage &image) override;
    bool IsKeyFrame(int32_t n) override;
    bool ReadPacket(int32_t n, TVideoPacket &packet) override;

    // The output is what the decoder delivers: the stream's own bit count, or 24 bits for
    // 16- and 32-bit input when prefer24 (else those are converted per frame). A later
    // segment's decoder delivers the first segment's bit count. meFrameFormat when no
    // decoder fits.
    bool SelectStream(int stream, bool prefer24, const TVideoOutput *first) override;
    bool HasStoredData(const TVideoReadMode &) const override { return FSelected >= 0; }
    bool ReadStored(int32_t n, const TVideoReadMode &mode, std::vector<uint8_t> &buffer,
                    TVideoPacket &packet) override;
    std::vector<uint8_t> CodecData() override;

protected:
    explicit TAviVideoSource(bool ownReader) : FOwnReader(ownReader) {}
    // The reader's calls: one stored sample (AVIFile read convention), the key-frame test,
    // a stream's extra chunk.
    virtual int32_t ReadSample(int stream, int32_t sample, void *buffer, int32_t bufferSize, int32_t *bytes) = 0;
    virtual bool KeyAt(int stream, int32_t sample) = 0;
    virtual int32_t ReadStreamData(int stream, uint32_t id, int32_t &size, void *buffer) = 0;
    // A decoder instance of the stream delivering bits per pixel (null when none fits).
    virtual TFrameWalker *OpenDecoder(int stream, int bits) = 0;
    virtual void CloseDecoder() = 0;
    int FSelected = -1;

private:
    bool DecodedToImage(const uint8_t *decoded, TIOImage &image);
    bool ReadStoredSample(int32_t n, std::vector<uint8_t> &buffer, TVideoPacket &packet);
    TFrameWalker *FDecoder = nullptr;
    bool FOwnReader;
    std::vector<uint8_t> FPacketBuffer;
};

// The reads both readers answer with the same AVIFile-shaped calls.
template <class TReader> class TAviReaderVideo : public TAviVideoSource {
protected:
    using TAviVideoSource::TAviVideoSource;
    int32_t ReadSample(int stream, int32_t sample, void *buffer, int32_t bufferSize, int32_t *bytes) override
    {
        return FReader->Read(stream, sample, 1, buffer, bufferSize, bytes, nullptr);
    }
    bool KeyAt(int stream, int32_t sample) override { return FReader->IsKeyFrame(stream, sample); }
    int32_t ReadStreamData(int stream, uint32_t id, int32_t &size, void *buffer) override
    {
        return FReader->ReadData(stream, id, size, buffer);
    }
    // Takes the file's streams; meOk or meStreamFormat.
    TMediaError ReadStreamRecords(std::vector<TVideoStreamRecord> &out);
    std::unique_ptr<TReader> FReader;
};

class TOdmlVideoSource final : public TAviReaderVideo<TAvi2Decoder> {
public:
    TOdmlVideoSource() : TAviReaderVideo(true) {}
    ~TOdmlVideoSource() override;
    // meOk, the reader's failure translated, or meStreamFormat (negative start, format
    // unreadable).
    TMediaError Open(const std::string &file);

protected:
    TFrameWalker *OpenDecoder(int stream, int bits) override;
    void CloseDecoder() override;

private:
    bool UsesOpenDmlIndex();
    TAvi2FrameDecoder *FInstance = nullptr;
};

class TMsvwVideoSource final : public TAviReaderVideo<TAviFile> {
public:
    TMsvwVideoSource() : TAviReaderVideo(false) {}
    ~TMsvwVideoSource() override;
    // As TOdmlVideoSource::Open, and meFileNotFound/meFileSize for the file size,
    // meFileFormat for a file without streams.
    TMediaError Open(const std::string &file);

protected:
    TFrameWalker *OpenDecoder(int stream, int bits) override;
    void CloseDecoder() override;

private:
    std::unique_ptr<TAviFileFrameDecoder> FFrameDecoder; // goes before the file
};

} // namespace tessaly
