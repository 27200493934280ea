// The last stage of the decoding chain: writes what its input gives as a PCM RIFF
// WAVE file (a 16-byte format chunk with tag 1, then the data chunk). Run starts
// the work on a worker thread and returns at once; the end is announced on the
// writer's own thread (its event loop) through OnDone, with ExceptionMessage
// empty after success and the failure's text otherwise.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "audio_source.h"

class TWaveOut : public QObject {
    Q_OBJECT
public:
    using TDoneEvent = std::function<void(TWaveOut* Sender)>;

    explicit TWaveOut(QObject* Parent = nullptr);
    // Stops a run under way (no OnDone then) and waits for its thread.
    ~TWaveOut() override;

    TAudioSource* Input() const { return FInput; }
    void SetInput(TAudioSource* Value) { FInput = Value; }
    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& Value) { FFileName = Value; }
    void SetOnDone(TDoneEvent Value) { FOnDone = std::move(Value); }

    // Starts writing FileName from Input on a worker thread. Raises EAudioError
    // when a run is already under way or there is no input.
    void Run();
    // True from Run until OnDone has been called.
    bool Active() const { return FActive; }
    // The error of the last run: empty after success.
    const std::string& ExceptionMessage() const { return FExceptionMessage; }
    // When the last run failed because FileName could not be made or written:
    // the system's reason (never empty then). Empty after any other end.
    const std::string& FileError() const { return FFileError; }

private:
    void Work();                                                          // on the worker thread
    void Finish(const std::string& Error, const std::string& FileError);  // on the writer's thread

    TAudioSource* FInput = nullptr;
    std::string FFileName;
    TDoneEvent FOnDone;
    bool FActive = false;
    std::string FExceptionMessage;
    std::string FFileError;
    std::atomic<bool> FCancel{false};
    std::thread FThread;
};

// The 44-byte header of a PCM RIFF WAVE file for DataBytes bytes of samples.
std::string WavePcmHeader(int SampleRate, int Channels, int BitsPerSample, uint32_t DataBytes);
