#include "audio_fixtures.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

namespace {

void Check(int Rc, const std::string& What) {
    if (Rc < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(Rc, text, sizeof text);
        throw std::runtime_error(What + ": " + text);
    }
}

void PutSample(AVFrame* Frame, int Channel, int Index, double Value) {
    const int channels = Frame->ch_layout.nb_channels;
    switch (Frame->format) {
        case AV_SAMPLE_FMT_S16:
            reinterpret_cast<int16_t*>(Frame->data[0])[Index * channels + Channel] =
                static_cast<int16_t>(std::lround(Value * 32767));
            break;
        case AV_SAMPLE_FMT_S16P:
            reinterpret_cast<int16_t*>(Frame->extended_data[Channel])[Index] =
                static_cast<int16_t>(std::lround(Value * 32767));
            break;
        case AV_SAMPLE_FMT_S32:
            reinterpret_cast<int32_t*>(Frame->data[0])[Index * channels + Channel] =
                static_cast<int32_t>(std::llround(Value * 2147483647.0));
            break;
        case AV_SAMPLE_FMT_S32P:
            reinterpret_cast<int32_t*>(Frame->extended_data[Channel])[Index] =
                static_cast<int32_t>(std::llround(Value * 2147483647.0));
            break;
        case AV_SAMPLE_FMT_FLT:
            reinterpret_cast<float*>(Frame->data[0])[Index * channels + Channel] =
                static_cast<float>(Value);
            break;
        case AV_SAMPLE_FMT_FLTP:
            reinterpret_cast<float*>(Frame->extended_data[Channel])[Index] =
                static_cast<float>(Value);
            break;
        default:
            throw std::runtime_error("MakeToneClip: unhandled sample format");
    }
}

struct TEncoder {
    AVFormatContext* Container = nullptr;
    AVCodecContext* Codec = nullptr;
    AVStream* Stream = nullptr;
    AVPacket* Packet = nullptr;
    ~TEncoder() {
        av_packet_free(&Packet);
        avcodec_free_context(&Codec);
        if (Container) {
            if (Container->pb) avio_closep(&Container->pb);
            avformat_free_context(Container);
        }
    }
    void Drain() {
        for (;;) {
            const int rc = avcodec_receive_packet(Codec, Packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
            Check(rc, "encoding");
            av_packet_rescale_ts(Packet, Codec->time_base, Stream->time_base);
            Packet->stream_index = Stream->index;
            Check(av_interleaved_write_frame(Container, Packet), "writing a packet");
        }
    }
};

}  // namespace

void MakeToneClip(const std::string& Path, const std::string& ContainerName,
                  const std::string& CodecName, int SampleRate, int Channels, double Seconds,
                  double Frequency) {
    TEncoder enc;
    Check(avformat_alloc_output_context2(&enc.Container, nullptr, ContainerName.c_str(),
                                         Path.c_str()),
          "output " + ContainerName);
    const AVCodec* codec = avcodec_find_encoder_by_name(CodecName.c_str());
    if (!codec) throw std::runtime_error("no encoder " + CodecName);
    enc.Stream = avformat_new_stream(enc.Container, nullptr);
    enc.Codec = avcodec_alloc_context3(codec);
    enc.Packet = av_packet_alloc();
    if (!enc.Stream || !enc.Codec || !enc.Packet) throw std::runtime_error("out of memory");
    enc.Codec->sample_rate = SampleRate;
    av_channel_layout_default(&enc.Codec->ch_layout, Channels);
    enc.Codec->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    if (CodecName != "pcm_s16le" && CodecName != "adpcm_ms") enc.Codec->bit_rate = 128000;
    enc.Codec->time_base = {1, SampleRate};
    if (enc.Container->oformat->flags & AVFMT_GLOBALHEADER)
        enc.Codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(enc.Codec, codec, nullptr), "opening " + CodecName);
    Check(avcodec_parameters_from_context(enc.Stream->codecpar, enc.Codec), "parameters");
    enc.Stream->time_base = enc.Codec->time_base;
    Check(avio_open(&enc.Container->pb, Path.c_str(), AVIO_FLAG_WRITE), "creating " + Path);
    Check(avformat_write_header(enc.Container, nullptr), "writing the header");

    const bool fixedSize =
        enc.Codec->frame_size > 0 && !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    const bool smallLast = codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
    const int frameSize = enc.Codec->frame_size > 0 ? enc.Codec->frame_size : 1024;
    const int64_t total = std::llround(Seconds * SampleRate);
    AVFrame* frame = av_frame_alloc();
    if (!frame) throw std::runtime_error("out of memory");
    try {
        for (int64_t done = 0; done < total;) {
            const int count = static_cast<int>(std::min<int64_t>(frameSize, total - done));
            const int allocated = (fixedSize && !smallLast) ? frameSize : count;
            av_frame_unref(frame);
            frame->format = enc.Codec->sample_fmt;
            av_channel_layout_copy(&frame->ch_layout, &enc.Codec->ch_layout);
            frame->sample_rate = SampleRate;
            frame->nb_samples = allocated;
            Check(av_frame_get_buffer(frame, 0), "frame buffer");
            for (int i = 0; i < allocated; ++i) {
                const double value =
                    i < count ? 0.5 * std::sin(2 * M_PI * Frequency * double(done + i) / SampleRate)
                              : 0.0;
                for (int ch = 0; ch < Channels; ++ch) PutSample(frame, ch, i, value);
            }
            frame->pts = done;
            Check(avcodec_send_frame(enc.Codec, frame), "encoding");
            enc.Drain();
            done += count;
        }
        Check(avcodec_send_frame(enc.Codec, nullptr), "flushing");
        enc.Drain();
        Check(av_write_trailer(enc.Container), "writing the trailer");
    } catch (...) {
        av_frame_free(&frame);
        throw;
    }
    av_frame_free(&frame);
}

void WriteRawWave(const std::string& Path, uint16_t FormatTag, uint16_t Channels,
                  uint32_t SampleRate, uint16_t BlockAlign, uint16_t BitsPerSample,
                  const std::string& Data) {
    auto le = [](std::string& out, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::string bytes = "RIFF";
    le(bytes, static_cast<uint32_t>(4 + 8 + 16 + 8 + Data.size()), 4);
    bytes += "WAVEfmt ";
    le(bytes, 16, 4);
    le(bytes, FormatTag, 2);
    le(bytes, Channels, 2);
    le(bytes, SampleRate, 4);
    le(bytes, SampleRate * BlockAlign, 4);
    le(bytes, BlockAlign, 2);
    le(bytes, BitsPerSample, 2);
    bytes += "data";
    le(bytes, static_cast<uint32_t>(Data.size()), 4);
    bytes += Data;
    WriteTextFile(Path, bytes);
}

void WriteTextFile(const std::string& Path, const std::string& Text) {
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out << Text;
    if (!out) throw std::runtime_error("cannot write " + Path);
}

std::string ReadFileBytes(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TWaveInfo ReadWave(const std::string& Path) {
    TWaveInfo info;
    const std::string bytes = ReadFileBytes(Path);
    info.FileSize = bytes.size();
    auto u32 = [&](size_t at) -> uint32_t {
        return at + 4 <= bytes.size()
                   ? uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
                         uint32_t(uint8_t(bytes[at + 2])) << 16 |
                         uint32_t(uint8_t(bytes[at + 3])) << 24
                   : 0;
    };
    auto u16 = [&](size_t at) -> uint16_t {
        return at + 2 <= bytes.size()
                   ? uint16_t(uint8_t(bytes[at]) | uint16_t(uint8_t(bytes[at + 1])) << 8)
                   : 0;
    };
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return info;
    info.RiffSize = u32(4);
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = u32(at + 4);
        if (bytes.compare(at, 4, "fmt ") == 0) {
            info.FmtSize = size;
            info.FormatTag = u16(at + 8);
            info.Channels = u16(at + 10);
            info.SampleRate = u32(at + 12);
            info.ByteRate = u32(at + 16);
            info.BlockAlign = u16(at + 20);
            info.BitsPerSample = u16(at + 22);
            haveFormat = true;
        } else if (bytes.compare(at, 4, "data") == 0) {
            info.DataSize = size;
            const size_t start = at + 8;
            for (size_t p = start; p + 2 <= bytes.size() && p < start + size; p += 2)
                info.Samples.push_back(static_cast<int16_t>(u16(p)));
            info.Ok = haveFormat;
            return info;
        }
        at += 8 + size + (size & 1);
    }
    return info;
}

double ToneFrequency(const std::vector<int16_t>& Samples, int SampleRate) {
    const int threshold = 1000;
    bool low = false;
    long first = -1, last = -1, count = 0;
    for (size_t i = 0; i < Samples.size(); ++i) {
        if (Samples[i] < -threshold) {
            low = true;
        } else if (Samples[i] > threshold && low) {
            low = false;
            if (first < 0) first = static_cast<long>(i);
            last = static_cast<long>(i);
            ++count;
        }
    }
    if (count < 2 || SampleRate <= 0) return 0;
    return (count - 1) * double(SampleRate) / double(last - first);
}

int PeakLevel(const std::vector<int16_t>& Samples) {
    int peak = 0;
    for (int16_t s : Samples) peak = std::max(peak, std::abs(int(s)));
    return peak;
}
