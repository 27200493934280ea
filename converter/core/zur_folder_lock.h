// The lock that keeps one conversion at a time in the converter's folder, across
// every zur that works there: the intermediate files "tmpaudio.wav" and
// "run.bat" have fixed names, so a second conversion would overwrite the first
// one's. The lock is a flock on "zur.lock" in that folder, held while a
// conversion runs. The system drops it when the last holder ends in any way, so
// a zur that was killed never blocks the next one once nothing of its
// conversion runs. The file itself stays (empty): removing it could let two
// holders lock two different files of one name.
#pragma once

#include <string>

inline constexpr const char* ZurLockName = "zur.lock";

class TFolderLock {
public:
    enum class TResult {
        Acquired,    // this holder has the folder now
        Busy,        // another conversion holds it
        Failed,      // the lock file cannot be made or opened (see Error)
        NoLockFile,  // only when asked not to make it: no conversion has held the folder
        NotAFile,    // the name is taken by a folder, a link, a FIFO...: no zur can lock it
    };
    enum class TMake { LockFile, Nothing };

    TFolderLock() = default;
    ~TFolderLock() { Release(); }
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    // Tries to take the lock of Folder (ending with "/") without waiting; the
    // open never waits either, whatever stands under the name. A lock already
    // held by this object is kept and gives Acquired. With TMake::Nothing a
    // missing lock file is not made (NoLockFile), so that a look whether the
    // folder is free leaves nothing behind.
    TResult Acquire(const std::string& Folder, TMake Make = TMake::LockFile);
    // Drops this holder's descriptor. A process that was handed the lock on
    // purpose (Handle) keeps the folder taken until it ends.
    void Release();
    bool Held() const { return FFd >= 0; }
    // The lock's descriptor while held, else -1. It is closed on exec: only a
    // process given it on purpose inherits the lock.
    int Handle() const { return FFd; }
    // The system's reason of the last Failed.
    const std::string& Error() const { return FError; }

private:
    int FFd = -1;
    std::string FError;
};
