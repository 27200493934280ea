// The program's one media player, shared by the audio chooser (listening to a clip)
// and the pages (measuring a clip). The interface lets the windows be tested with a
// scripted player; the real one times clips through libavformat and plays them
// through Qt Multimedia.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// A player step that failed; what() is the text shown to the user.
class EMediaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class MediaPlayer {
public:
    virtual ~MediaPlayer() = default;
    // Closes whatever was open, then opens the clip. Throws EMediaError with a
    // readable text when the clip cannot be opened (missing, broken, no sound).
    virtual void Open(const std::string& file) = 0;
    // The open clip's length in milliseconds. Throws EMediaError when nothing is open.
    virtual int64_t LengthMs() = 0;
    // Starts playback and returns at once. Throws EMediaError when nothing is open.
    virtual void Play() = 0;
    // Stops playback. Throws EMediaError when nothing is open.
    virtual void Stop() = 0;
    // Releases the clip; does nothing when nothing is open.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
};

// The length of a clip in milliseconds as libavformat sees it. Throws EMediaError
// when the file cannot be opened or holds no audio stream.
int64_t ProbeClipLengthMs(const std::string& file);

// The real player. Playback needs a running Qt application; opening and timing do not.
class TQtMediaPlayer : public MediaPlayer {
public:
    TQtMediaPlayer();
    ~TQtMediaPlayer() override;
    void Open(const std::string& file) override;
    int64_t LengthMs() override;
    void Play() override;
    void Stop() override;
    void Close() override;
    bool IsOpen() const override;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};
