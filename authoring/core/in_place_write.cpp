#include "in_place_write.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <thread>

#include "regular_file.h"

namespace {

// The record of a write under way: the last 64 bytes of the file, at a multiple of
// 64 so that it never straddles a page and one write puts it there whole.
constexpr size_t kRecordSize = 64;
constexpr char kMagic[16] = {'Q', 'u', 'i', 'l', 'm', 'a', 'r', ' ',
                             'r', 'e', 'w', 'r', 'i', 't', 'e', '\n'};
// The old text is being copied beyond the end: the front is still the old text.
constexpr uint32_t kCopyingOld = 1;
// The old text stands whole beyond the end: the front is being rewritten.
constexpr uint32_t kOldKept = 2;

struct TRecord {
    uint64_t OldSize = 0, NewSize = 0, CopyAt = 0;
    uint32_t OldCrc = 0, State = 0;
    // The file written: only its own record is undone, never one that a file's
    // bytes merely hold (a crafted file, a copy of a file left so).
    uint64_t Inode = 0;
    uint32_t Device = 0;
};

uint32_t DeviceKey(dev_t dev) {
    const auto d = static_cast<uint64_t>(dev);
    return static_cast<uint32_t>(d ^ (d >> 32));
}

bool WrittenInto(const TRecord& r, const struct stat& st) {
    return r.Inode == static_cast<uint64_t>(st.st_ino) && r.Device == DeviceKey(st.st_dev);
}

uint64_t Align(uint64_t n) { return (n + kRecordSize - 1) / kRecordSize * kRecordSize; }

// Where the copy of the old text and the record go for a write of oldSize bytes
// over newSize: past the end of both texts.
uint64_t CopyAtFor(uint64_t oldSize, uint64_t newSize) { return Align(std::max(oldSize, newSize)); }
uint64_t RecordAtFor(uint64_t oldSize, uint64_t newSize) {
    return Align(CopyAtFor(oldSize, newSize) + oldSize);
}

uint32_t Crc(const void* p, size_t n) {
    uLong c = crc32(0L, Z_NULL, 0);
    const auto* b = static_cast<const Bytef*>(p);
    while (n > 0) {
        const auto chunk = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
        c = crc32(c, b, chunk);
        b += chunk;
        n -= chunk;
    }
    return static_cast<uint32_t>(c);
}

void Put64(unsigned char* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
uint64_t Get64(const unsigned char* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}
uint32_t Get32(const unsigned char* p) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

// Magic, three sizes, the old text's check sum, the state, the file's inode and
// device, and a check sum of all that before it.
void Encode(const TRecord& r, unsigned char* out) {
    std::memset(out, 0, kRecordSize);
    std::memcpy(out, kMagic, sizeof(kMagic));
    Put64(out + 16, r.OldSize);
    Put64(out + 24, r.NewSize);
    Put64(out + 32, r.CopyAt);
    Put32(out + 40, r.OldCrc);
    Put32(out + 44, r.State);
    Put64(out + 48, r.Inode);
    Put32(out + 56, r.Device);
    Put32(out + kRecordSize - 4, Crc(out, kRecordSize - 4));
}

// The record that ends a file of size bytes, when it holds one.
bool Decode(const unsigned char* in, uint64_t size, TRecord& r) {
    if (std::memcmp(in, kMagic, sizeof(kMagic)) != 0) return false;
    if (Get32(in + kRecordSize - 4) != Crc(in, kRecordSize - 4)) return false;
    r.OldSize = Get64(in + 16);
    r.NewSize = Get64(in + 24);
    r.CopyAt = Get64(in + 32);
    r.OldCrc = Get32(in + 40);
    r.State = Get32(in + 44);
    r.Inode = Get64(in + 48);
    r.Device = Get32(in + 56);
    return (r.State == kCopyingOld || r.State == kOldKept) &&
           r.CopyAt == CopyAtFor(r.OldSize, r.NewSize) &&
           RecordAtFor(r.OldSize, r.NewSize) + kRecordSize == size;
}

// Moves all n bytes from offset at on, step (a pread or a pwrite) taking the
// bytes done so far, the bytes left and the offset; false with errno set on
// failure, stuck the errno of a step that moved nothing.
template <typename Step>
bool AllBytes(Step step, size_t n, uint64_t at, int stuck) {
    size_t done = 0;
    while (done < n) {
        const ssize_t k = step(done, n - done, static_cast<off_t>(at + done));
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) {
            if (k == 0) errno = stuck;
            return false;
        }
        done += static_cast<size_t>(k);
    }
    return true;
}

bool PWriteAll(int fd, const void* data, size_t n, uint64_t at) {
    const auto* p = static_cast<const char*>(data);
    return AllBytes(
        [&](size_t done, size_t left, off_t where) { return ::pwrite(fd, p + done, left, where); },
        n, at, ENOSPC);
}

// EIO for a file shorter than it said.
bool PReadAll(int fd, void* data, size_t n, uint64_t at) {
    auto* p = static_cast<char*>(data);
    return AllBytes(
        [&](size_t done, size_t left, off_t where) { return ::pread(fd, p + done, left, where); },
        n, at, EIO);
}

bool Sync(int fd) { return ::fdatasync(fd) == 0 || errno == EINVAL; }

bool PutRecord(int fd, const TRecord& r) {
    unsigned char rec[kRecordSize];
    Encode(r, rec);
    return PWriteAll(fd, rec, sizeof(rec), RecordAtFor(r.OldSize, r.NewSize));
}

// Puts the old text back at the front and cuts the file to it.
bool Restore(int fd, const std::string& old) {
    return PWriteAll(fd, old.data(), old.size(), 0) && Sync(fd) &&
           ::ftruncate(fd, static_cast<off_t>(old.size())) == 0;
}

}  // namespace

int WriteIntoFile(int fd, std::string_view bytes) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return errno;
    std::string old(static_cast<size_t>(st.st_size), '\0');
    if (!PReadAll(fd, old.data(), old.size(), 0)) return errno;
    TRecord r;
    r.OldSize = old.size();
    r.NewSize = bytes.size();
    r.CopyAt = CopyAtFor(r.OldSize, r.NewSize);
    r.OldCrc = Crc(old.data(), old.size());
    r.Inode = static_cast<uint64_t>(st.st_ino);
    r.Device = DeviceKey(st.st_dev);
    const uint64_t end = RecordAtFor(r.OldSize, r.NewSize) + kRecordSize;
    // Every block the write needs, taken before anything changes; the size stays,
    // so a kill here leaves the old text as it was.
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(end)) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    r.State = kCopyingOld;
    bool ok = PutRecord(fd, r) && PWriteAll(fd, old.data(), old.size(), r.CopyAt) && Sync(fd);
    if (ok) {
        r.State = kOldKept;
        ok = PutRecord(fd, r) && Sync(fd);
    }
    if (!ok) {
        // The front is the old text still: the record and the copy go.
        const int err = errno;
        [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(old.size()));
        return err;
    }
    if (!PWriteAll(fd, bytes.data(), bytes.size(), 0) || !Sync(fd) ||
        ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
        const int err = errno;
        // What cannot be put back now, the next reading puts back from the copy.
        Restore(fd, old);
        return err;
    }
    Sync(fd);
    return 0;
}

bool HoldsRewriteRecord(std::string_view bytes) {
    TRecord r;
    return bytes.size() >= kRecordSize && bytes.size() % kRecordSize == 0 &&
           Decode(reinterpret_cast<const unsigned char*>(bytes.data()) + bytes.size() - kRecordSize,
                  bytes.size(), r);
}

bool RecoverFileWrite(const std::string& path) {
    // Through a link, as the write went.
    int fd = OpenRegularFile(path, O_RDWR);
    const bool writable = fd >= 0;
    if (!writable) fd = OpenRegularFile(path, O_RDONLY);
    if (fd < 0) return true;  // nothing there to mend, or the reading will say why
    struct stat st;
    unsigned char rec[kRecordSize];
    TRecord r;
    bool ok = true;
    if (::fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(kRecordSize) &&
        st.st_size % kRecordSize == 0 &&
        PReadAll(fd, rec, sizeof(rec), static_cast<uint64_t>(st.st_size) - kRecordSize) &&
        Decode(rec, static_cast<uint64_t>(st.st_size), r) && WrittenInto(r, st)) {
        if (!writable) {
            ok = false;
        } else if (r.State == kCopyingOld) {
            ok = ::ftruncate(fd, static_cast<off_t>(r.OldSize)) == 0;
        } else {
            std::string old(static_cast<size_t>(r.OldSize), '\0');
            ok = PReadAll(fd, old.data(), old.size(), r.CopyAt) &&
                 Crc(old.data(), old.size()) == r.OldCrc && Restore(fd, old);
        }
    }
    ::close(fd);
    return ok;
}

TFolderLock::TFolderLock(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target = fs::weakly_canonical(path, ec);
    if (ec) target = path;
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    // A save takes milliseconds; a holder that keeps it for seconds is not waited for.
    for (int tries = 0; tries < 500; ++tries) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    busy_ = errno == EWOULDBLOCK || errno == EINTR;
    ::close(fd_);
    fd_ = -1;
}

TFolderLock::~TFolderLock() {
    if (fd_ >= 0) ::close(fd_);
}
