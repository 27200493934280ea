// The decoding chain's common ground: a stage hands out blocks of PCM samples as
// FFmpeg frames, pulled by the stage after it (decoder -> resampler -> converter
// -> WAV writer). A run calls Init, then GetData until it gives null, then Done,
// all on the writer's worker thread.
#pragma once

#include <stdexcept>
#include <string>

extern "C" {
#include <libavutil/samplefmt.h>
}

struct AVFrame;

// A failure to open, read, decode, convert or write audio.
class EAudioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The sample stream a stage gives out.
struct TAudioFormat {
    int SampleRate = 0;
    int Channels = 0;
    AVSampleFormat SampleFormat = AV_SAMPLE_FMT_NONE;
};

class TAudioSource {
public:
    virtual ~TAudioSource() = default;
    // Prepares a run; raises EAudioError when the stage (or one before it)
    // cannot.
    virtual void Init() = 0;
    // The stream's format, valid between Init and Done.
    virtual TAudioFormat Format() const = 0;
    // The next block of samples, or null at the end of the stream. The frame
    // belongs to the stage and stays valid until the next call. Raises
    // EAudioError on failure.
    virtual AVFrame* GetData() = 0;
    // Ends a run and releases what Init took (also after a failure).
    virtual void Done() = 0;
};

// FFmpeg's text for an error code.
std::string AvErrorText(int Code);
