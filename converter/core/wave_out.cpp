#include "wave_out.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
}

#include "own_file.h"
#include "system_error_text.h"

namespace {

void PutLe(std::string& Out, uint32_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i) Out += static_cast<char>((Value >> (8 * i)) & 0xFF);
}

struct TFileCloser {
    void operator()(std::FILE* File) const { std::fclose(File); }
};

// The file could not be made or written; Reason is the system's.
class EWaveFileError : public EAudioError {
public:
    EWaveFileError(const char* Verb, const std::string& FileName, int Errno)
        : EAudioError(std::string(Verb) + " " + FileName + ": " + std::strerror(Errno)),
          FReason(SystemErrorText(Errno)) {}
    const std::string& Reason() const { return FReason; }

private:
    std::string FReason;
};

}  // namespace

std::string WavePcmHeader(int SampleRate, int Channels, int BitsPerSample, uint32_t DataBytes) {
    const uint32_t blockAlign = static_cast<uint32_t>(Channels * (BitsPerSample / 8));
    std::string header;
    header += "RIFF";
    PutLe(header, 36 + DataBytes, 4);
    header += "WAVE";
    header += "fmt ";
    PutLe(header, 16, 4);
    PutLe(header, 1, 2);  // PCM
    PutLe(header, static_cast<uint32_t>(Channels), 2);
    PutLe(header, static_cast<uint32_t>(SampleRate), 4);
    PutLe(header, static_cast<uint32_t>(SampleRate) * blockAlign, 4);
    PutLe(header, blockAlign, 2);
    PutLe(header, static_cast<uint32_t>(BitsPerSample), 2);
    header += "data";
    PutLe(header, DataBytes, 4);
    return header;
}

TWaveOut::TWaveOut(QObject* Parent) : QObject(Parent) {}

TWaveOut::~TWaveOut() {
    FCancel = true;
    if (FThread.joinable()) FThread.join();
}

void TWaveOut::Run() {
    if (FActive) throw EAudioError("the writer is already running");
    if (!FInput) throw EAudioError("the writer has no input");
    if (FThread.joinable()) FThread.join();
    FActive = true;
    FCancel = false;
    FExceptionMessage.clear();
    FFileError.clear();
    FThread = std::thread(&TWaveOut::Work, this);
}

void TWaveOut::Work() {
    std::string error, fileError;
    try {
        FInput->Init();
        const TAudioFormat format = FInput->Format();
        const int bytesPerSample = av_get_bytes_per_sample(format.SampleFormat);
        const AVSampleFormat sampleFormat = format.SampleFormat;
        if ((sampleFormat != AV_SAMPLE_FMT_U8 && sampleFormat != AV_SAMPLE_FMT_S16 &&
             sampleFormat != AV_SAMPLE_FMT_S32) ||
            format.Channels <= 0 || format.SampleRate <= 0)
            throw EAudioError("the writer needs interleaved integer samples");
        const int bits = bytesPerSample * 8;
        // Made anew: a link under the name is not written through, a pipe does not
        // hold the writer.
        const int fd = CreateOwnFile(FFileName, 0666);
        if (fd < 0) throw EWaveFileError("cannot create", FFileName, errno);
        std::unique_ptr<std::FILE, TFileCloser> file(::fdopen(fd, "wb"));
        if (!file) {
            const int error = errno;
            ::close(fd);
            throw EWaveFileError("cannot create", FFileName, error);
        }
        std::setvbuf(file.get(), nullptr, _IOFBF, 1 << 16);
        auto writeBytes = [&](const void* Data, size_t Size) {
            if (Size && std::fwrite(Data, 1, Size, file.get()) != Size)
                throw EWaveFileError("cannot write", FFileName, errno);
        };
        const std::string placeholder = WavePcmHeader(format.SampleRate, format.Channels, bits, 0);
        writeBytes(placeholder.data(), placeholder.size());
        uint64_t dataBytes = 0;
        const uint64_t maxDataBytes = 0xFFFFFFFFull - 36;
        while (!FCancel) {
            const AVFrame* frame = FInput->GetData();
            if (!frame) break;
            const size_t size = static_cast<size_t>(frame->nb_samples) * format.Channels *
                                static_cast<size_t>(bytesPerSample);
            if (dataBytes + size > maxDataBytes)
                throw EAudioError(FFileName + " would grow past the size of a WAVE file");
            writeBytes(frame->data[0], size);
            dataBytes += size;
        }
        const std::string header = WavePcmHeader(format.SampleRate, format.Channels, bits,
                                                 static_cast<uint32_t>(dataBytes));
        if (std::fseek(file.get(), 0, SEEK_SET) != 0)
            throw EWaveFileError("cannot write", FFileName, errno);
        writeBytes(header.data(), header.size());
        if (std::fflush(file.get()) != 0) throw EWaveFileError("cannot write", FFileName, errno);
        std::FILE* raw = file.release();
        if (std::fclose(raw) != 0) throw EWaveFileError("cannot write", FFileName, errno);
    } catch (const EWaveFileError& e) {
        error = e.what();
        fileError = e.Reason();
    } catch (const std::exception& e) {
        error = *e.what() ? e.what() : "conversion failed";
    } catch (...) {
        error = "conversion failed";
    }
    try {
        FInput->Done();
    } catch (...) {
    }
    if (FCancel) return;
    QMetaObject::invokeMethod(
        this, [this, error, fileError] { Finish(error, fileError); }, Qt::QueuedConnection);
}

void TWaveOut::Finish(const std::string& Error, const std::string& FileError) {
    if (FThread.joinable()) FThread.join();
    FExceptionMessage = Error;
    FFileError = FileError;
    FActive = false;
    if (FOnDone) {
        // An error of the handler stays here: later runs still get their event.
        try {
            FOnDone(this);
        } catch (...) {
        }
    }
}
