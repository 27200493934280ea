// The three decoders of the chain, chosen by the source's extension: WAV (PCM or
// compressed), MP3 and WMA, each reading through libavformat/libavcodec. Each
// offers a validity test that opens the file and reads its header.
#pragma once

#include <cstdint>
#include <string>

#include "audio_source.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;

class TAudioFileIn : public TAudioSource {
public:
    ~TAudioFileIn() override;

    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& Value) { FFileName = Value; }

    // True when this decoder can read FileName: the file opens, its header is
    // read as this decoder's kind of file and it holds an audio stream that a
    // decoder is there for. False otherwise, also for a missing file.
    bool Valid() const;

    void Init() override;
    TAudioFormat Format() const override { return FFormat; }
    AVFrame* GetData() override;
    void Done() override;

protected:
    // Whether the container that libavformat recognised (its demuxer's name) is
    // this decoder's kind of file.
    virtual bool AcceptsContainer(const std::string& DemuxerName) const = 0;

private:
    // Opens FileName and finds its audio stream; raises EAudioError. Returns
    // the stream's index.
    int OpenContainer(AVFormatContext*& Context) const;
    // Opens the decoder of that stream; raises EAudioError.
    AVCodecContext* OpenDecoder(AVFormatContext* Context, int Stream) const;

    std::string FFileName;
    AVFormatContext* FContainer = nullptr;
    AVCodecContext* FCodec = nullptr;
    AVPacket* FPacket = nullptr;
    AVFrame* FFrame = nullptr;
    int FStream = -1;
    TAudioFormat FFormat;
    bool FInputEnded = false;
    bool FDecoderEnded = false;
    int64_t FBadPackets = 0;
    int64_t FSamples = 0;
};

// ".wav" sources: RIFF WAVE files, PCM or compressed.
class TWaveIn : public TAudioFileIn {
protected:
    bool AcceptsContainer(const std::string& DemuxerName) const override;
};

// ".mp3" sources: MPEG audio files.
class TMp3In : public TAudioFileIn {
protected:
    bool AcceptsContainer(const std::string& DemuxerName) const override;
};

// ".wma" sources: ASF container files.
class TWmaIn : public TAudioFileIn {
protected:
    bool AcceptsContainer(const std::string& DemuxerName) const override;
};
