#include "audio_swr_stage.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace {

AVChannelLayout LayoutOf(int Channels, const AVChannelLayout* Given = nullptr) {
    AVChannelLayout layout{};
    if (Given && Given->order != AV_CHANNEL_ORDER_UNSPEC && Given->nb_channels == Channels)
        av_channel_layout_copy(&layout, Given);
    else
        av_channel_layout_default(&layout, Channels);
    return layout;
}

}  // namespace

TSwrStage::~TSwrStage() { Release(); }

void TSwrStage::Init() {
    Release();
    if (!FInput) throw EAudioError("the stage has no input");
    FInput->Init();
    FOutFormat = OutputFor(FInput->Format());
    if (FOutFormat.SampleRate <= 0 || FOutFormat.Channels <= 0)
        throw EAudioError("invalid output rate or channels");
    FOut = av_frame_alloc();
    if (!FOut) throw EAudioError("out of memory");
}

bool TSwrStage::Matches(const AVFrame* Frame) const {
    return Frame->sample_rate == FInFormat.SampleRate &&
           Frame->ch_layout.nb_channels == FInFormat.Channels &&
           Frame->format == FInFormat.SampleFormat;
}

void TSwrStage::Configure(const AVFrame* Frame) {
    swr_free(&FSwr);
    FInFormat = {Frame->sample_rate, Frame->ch_layout.nb_channels,
                 static_cast<AVSampleFormat>(Frame->format)};
    AVChannelLayout inLayout = LayoutOf(FInFormat.Channels, &Frame->ch_layout);
    AVChannelLayout outLayout = LayoutOf(FOutFormat.Channels);
    int rc =
        swr_alloc_set_opts2(&FSwr, &outLayout, FOutFormat.SampleFormat, FOutFormat.SampleRate,
                            &inLayout, FInFormat.SampleFormat, FInFormat.SampleRate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc >= 0) rc = swr_init(FSwr);
    if (rc < 0) {
        swr_free(&FSwr);
        throw EAudioError("cannot set up the sample conversion: " + AvErrorText(rc));
    }
}

int TSwrStage::Convert(const AVFrame* Frame) {
    const int inCount = Frame ? Frame->nb_samples : 0;
    const int needed = swr_get_out_samples(FSwr, inCount);
    if (needed < 0) throw EAudioError("sample conversion failed: " + AvErrorText(needed));
    if (needed > FOutCapacity || !FOut->data[0]) {
        av_frame_unref(FOut);
        FOut->format = FOutFormat.SampleFormat;
        AVChannelLayout layout = LayoutOf(FOutFormat.Channels);
        av_channel_layout_copy(&FOut->ch_layout, &layout);
        av_channel_layout_uninit(&layout);
        FOut->sample_rate = FOutFormat.SampleRate;
        FOut->nb_samples = needed > 0 ? needed : 1;
        const int rc = av_frame_get_buffer(FOut, 0);
        if (rc < 0) throw EAudioError("out of memory: " + AvErrorText(rc));
        FOutCapacity = FOut->nb_samples;
    }
    const int made =
        swr_convert(FSwr, FOut->extended_data, FOutCapacity,
                    Frame ? const_cast<const uint8_t**>(Frame->extended_data) : nullptr, inCount);
    if (made < 0) throw EAudioError("sample conversion failed: " + AvErrorText(made));
    FOut->nb_samples = made;
    return made;
}

AVFrame* TSwrStage::GetData() {
    if (!FOut) throw EAudioError("the stage is not started");
    while (!FEnded) {
        const AVFrame* in = FHeld;
        if (!in) in = FInput->GetData();
        if (!in) {
            FEnded = true;
            if (FSwr && Convert(nullptr) > 0) return FOut;
            break;
        }
        if (FSwr && !Matches(in)) {
            // The input changed its format: drain what the old set-up holds,
            // keep the block for the next call.
            if (!FHeld) {
                FHeld = av_frame_clone(in);
                if (!FHeld) throw EAudioError("out of memory");
                const int made = Convert(nullptr);
                swr_free(&FSwr);
                if (made > 0) return FOut;
            } else {
                swr_free(&FSwr);
            }
            continue;
        }
        if (!FSwr) Configure(in);
        const int made = Convert(in);
        av_frame_free(&FHeld);
        if (made > 0) return FOut;
    }
    return nullptr;
}

void TSwrStage::Done() {
    Release();
    if (FInput) FInput->Done();
}

void TSwrStage::Release() {
    swr_free(&FSwr);
    av_frame_free(&FOut);
    av_frame_free(&FHeld);
    FOutCapacity = 0;
    FInFormat = {};
    FOutFormat = {};
    FEnded = false;
}

TAudioFormat TResampler::OutputFor(const TAudioFormat& In) const {
    return {FOutSampleRate, In.Channels, In.SampleFormat};
}

TAudioFormat TAudioConverter::OutputFor(const TAudioFormat& In) const {
    AVSampleFormat format = AV_SAMPLE_FMT_NONE;
    switch (FOutBitsPerSample) {
        case 8:
            format = AV_SAMPLE_FMT_U8;
            break;
        case 16:
            format = AV_SAMPLE_FMT_S16;
            break;
        case 32:
            format = AV_SAMPLE_FMT_S32;
            break;
        default:
            throw EAudioError("unsupported bits per sample: " + std::to_string(FOutBitsPerSample));
    }
    if (FOutChannels < 1 || FOutChannels > 8)
        throw EAudioError("unsupported number of channels: " + std::to_string(FOutChannels));
    return {In.SampleRate, FOutChannels, format};
}
