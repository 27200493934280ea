// The two middle stages of the decoding chain, both on libswresample: the
// resampler (a settable output rate) and the converter (settable output
// channels and bits per sample). Each converts every block it pulls from its
// input to one output format fixed when the run starts.
#pragma once

#include "audio_source.h"

struct SwrContext;

class TSwrStage : public TAudioSource {
public:
    ~TSwrStage() override;

    TAudioSource* Input() const { return FInput; }
    void SetInput(TAudioSource* Value) { FInput = Value; }

    void Init() override;
    TAudioFormat Format() const override { return FOutFormat; }
    AVFrame* GetData() override;
    void Done() override;

protected:
    // The output stream for a given input stream; raises EAudioError when the
    // stage's settings cannot be met.
    virtual TAudioFormat OutputFor(const TAudioFormat& In) const = 0;

private:
    bool Matches(const AVFrame* Frame) const;  // the configured input
    void Configure(const AVFrame* Frame);
    // Converts Frame (null: what the converter still holds) into FOut; gives
    // the number of samples made.
    int Convert(const AVFrame* Frame);
    // Frees what this stage holds (not its input's).
    void Release();

    TAudioSource* FInput = nullptr;
    TAudioFormat FOutFormat;
    SwrContext* FSwr = nullptr;
    TAudioFormat FInFormat;  // what FSwr was set up for
    AVFrame* FOut = nullptr;
    int FOutCapacity = 0;
    AVFrame* FHeld = nullptr;  // an input block kept back while FSwr is drained
    bool FEnded = false;
};

class TResampler : public TSwrStage {
public:
    int OutSampleRate() const { return FOutSampleRate; }
    void SetOutSampleRate(int Value) { FOutSampleRate = Value; }

protected:
    TAudioFormat OutputFor(const TAudioFormat& In) const override;

private:
    int FOutSampleRate = 8000;
};

class TAudioConverter : public TSwrStage {
public:
    int OutChannels() const { return FOutChannels; }
    void SetOutChannels(int Value) { FOutChannels = Value; }
    // 8 (unsigned), 16 or 32 (signed) bits per sample.
    int OutBitsPerSample() const { return FOutBitsPerSample; }
    void SetOutBitsPerSample(int Value) { FOutBitsPerSample = Value; }

protected:
    TAudioFormat OutputFor(const TAudioFormat& In) const override;

private:
    int FOutChannels = 1;
    int FOutBitsPerSample = 16;
};
