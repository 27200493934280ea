#include "audio_file_in.h"

#include "file_input.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

TAudioFileIn::~TAudioFileIn() { Done(); }

int TAudioFileIn::OpenContainer(AVFormatContext*& Context) const {
    Context = nullptr;
    // A pipe or a device would hold the open, or be read without end.
    if (const std::string why = OpenFileInput(Context, FFileName); !why.empty())
        throw EAudioError("cannot open " + FFileName + ": " + why);
    if (!Context->iformat || !AcceptsContainer(Context->iformat->name)) {
        const std::string name = Context->iformat ? Context->iformat->name : "?";
        CloseFileInput(Context);
        throw EAudioError(FFileName + " is a " + name + " file, not one of this decoder");
    }
    // Some headers (a bare MPEG audio stream's) tell the rate and channels only
    // through the first frames: read those too. Its result alone decides nothing.
    avformat_find_stream_info(Context, nullptr);
    const AVCodec* decoder = nullptr;
    const int rc = av_find_best_stream(Context, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (rc < 0) {
        CloseFileInput(Context);
        throw EAudioError(FFileName + " holds no audio stream that can be decoded");
    }
    const AVCodecParameters* par = Context->streams[rc]->codecpar;
    if (par->sample_rate <= 0 || par->ch_layout.nb_channels <= 0) {
        CloseFileInput(Context);
        throw EAudioError(FFileName + ": the audio stream has no rate or no channels");
    }
    return rc;
}

AVCodecContext* TAudioFileIn::OpenDecoder(AVFormatContext* Context, int Stream) const {
    const AVCodecParameters* par = Context->streams[Stream]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    if (!codec) throw EAudioError("out of memory");
    int rc = avcodec_parameters_to_context(codec, par);
    if (rc >= 0) {
        codec->pkt_timebase = Context->streams[Stream]->time_base;
        rc = avcodec_open2(codec, decoder, nullptr);
    }
    if (rc < 0) {
        avcodec_free_context(&codec);
        throw EAudioError("cannot open the decoder for " + FFileName + ": " + AvErrorText(rc));
    }
    return codec;
}

bool TAudioFileIn::Valid() const {
    AVFormatContext* context = nullptr;
    try {
        const int stream = OpenContainer(context);
        AVCodecContext* codec = OpenDecoder(context, stream);
        avcodec_free_context(&codec);
    } catch (const EAudioError&) {
        CloseFileInput(context);
        return false;
    }
    CloseFileInput(context);
    return true;
}

void TAudioFileIn::Init() {
    Done();
    FStream = OpenContainer(FContainer);
    FCodec = OpenDecoder(FContainer, FStream);
    FPacket = av_packet_alloc();
    FFrame = av_frame_alloc();
    if (!FPacket || !FFrame) throw EAudioError("out of memory");
    FFormat = {FCodec->sample_rate, FCodec->ch_layout.nb_channels, FCodec->sample_fmt};
}

AVFrame* TAudioFileIn::GetData() {
    if (!FCodec) throw EAudioError("the decoder is not open");
    av_frame_unref(FFrame);
    while (!FDecoderEnded) {
        int rc = avcodec_receive_frame(FCodec, FFrame);
        if (rc >= 0) {
            if (FFrame->nb_samples <= 0) {
                av_frame_unref(FFrame);
                continue;
            }
            FSamples += FFrame->nb_samples;
            return FFrame;
        }
        if (rc == AVERROR_EOF) {
            FDecoderEnded = true;
            break;
        }
        if (rc == AVERROR(ENOMEM)) throw EAudioError("decoding failed: " + AvErrorText(rc));
        if (rc != AVERROR(EAGAIN)) {
            // A damaged block is passed over, as players do.
            ++FBadPackets;
            if (FInputEnded) {
                FDecoderEnded = true;
                break;
            }
        }

        // The decoder wants more input.
        if (FInputEnded) throw EAudioError("the decoder did not end its stream");
        rc = av_read_frame(FContainer, FPacket);
        if (rc < 0) {
            if (rc != AVERROR_EOF && !(FContainer->pb && avio_feof(FContainer->pb)))
                throw EAudioError("reading " + FFileName + " failed: " + AvErrorText(rc));
            FInputEnded = true;
            avcodec_send_packet(FCodec, nullptr);  // drain the decoder
            continue;
        }
        if (FPacket->stream_index != FStream) {
            av_packet_unref(FPacket);
            continue;
        }
        rc = avcodec_send_packet(FCodec, FPacket);
        av_packet_unref(FPacket);
        if (rc == AVERROR(ENOMEM)) throw EAudioError("decoding failed: " + AvErrorText(rc));
        if (rc < 0 && rc != AVERROR(EAGAIN)) ++FBadPackets;  // passed over too
    }
    // Nothing but damaged blocks: the file cannot be decoded.
    if (FSamples == 0 && FBadPackets > 0)
        throw EAudioError("no audio could be decoded from " + FFileName);
    return nullptr;
}

void TAudioFileIn::Done() {
    av_frame_free(&FFrame);
    av_packet_free(&FPacket);
    avcodec_free_context(&FCodec);
    CloseFileInput(FContainer);
    FStream = -1;
    FFormat = {};
    FInputEnded = false;
    FDecoderEnded = false;
    FBadPackets = 0;
    FSamples = 0;
}

bool TWaveIn::AcceptsContainer(const std::string& DemuxerName) const {
    return DemuxerName == "wav";
}

bool TMp3In::AcceptsContainer(const std::string& DemuxerName) const { return DemuxerName == "mp3"; }

bool TWmaIn::AcceptsContainer(const std::string& DemuxerName) const { return DemuxerName == "asf"; }
