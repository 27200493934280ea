// Rewriting a file into itself (where no new file may take its place: it has other
// names, its folder may not be written, the disk holds no second copy) so that a
// kill at any moment leaves what the next reading turns back into the old text or
// the new one, never a mixture; and a lock that lets one program at a time read,
// change and write a file of a folder.
#pragma once

#include <memory>
#include <string>
#include <string_view>

// Writes bytes into the open regular file fd in place of its old text. The room
// for the whole write is reserved first (a full disk refuses it before anything
// changes); then a copy of the old text and a record of the write go beyond the
// end of both texts, the new text goes to the front, and one truncation to the
// new size takes the record away. 0, or the errno of a failure, with the old text
// back in the file.
int WriteIntoFile(int fd, std::string_view bytes);

// Whether bytes (a whole file) end with what looks like the record of such a
// write: a kill may have left it there, and RecoverFileWrite, which knows the
// file, puts the old text back if so.
bool HoldsRewriteRecord(std::string_view bytes);

// Finishes what a write above that was killed left in the file at path: the old
// text comes back whole. Nothing happens to a file without such a record, nor to
// one whose record was written into another file (the record names its file:
// bytes that only look like one, a copy of such a file, are left alone). False
// when the file holds a record that could not be undone (it is then left as is).
bool RecoverFileWrite(const std::string& path);

// An exclusive lock on the folder of the file that path names (after its links),
// held while the object lives; for a read, modify and write of a file there that
// another program may do at the same time. Waits a bounded time for a program
// holding it; Held() is false when it could not be had: Busy() when another holder
// did not let go, else the folder or its file system takes no lock.
class TFolderLock {
public:
    explicit TFolderLock(const std::string& path);
    ~TFolderLock();
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;
    bool Held() const { return fd_ >= 0; }
    bool Busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};
