// The atomic writers as the disk sees them: the C library's own sync and rename
// calls are recorded here (this program's definitions stand in for them and
// pass each call on), so the order in which a writer makes its text durable and
// puts it under the name can be checked.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "string_list.h"
#include "test_support.h"

namespace {

std::vector<std::string>* gCalls = nullptr;
// Set in a child that is to end as if killed as soon as a writer begins to write
// a file's front in place.
bool gEndAtFront = false;

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

void Record(const char* what) {
    if (gCalls) gCalls->push_back(what);
}

}  // namespace

extern "C" int fsync(int fd) {
    static const auto real = Real<int (*)(int)>("fsync");
    Record("sync");
    return real(fd);
}

extern "C" int fdatasync(int fd) {
    static const auto real = Real<int (*)(int)>("fdatasync");
    Record("sync");
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    static const auto real = Real<int (*)(const char*, const char*)>("rename");
    Record("rename");
    return real(from, to);
}

// A write into a file at an offset: at its front, or beyond.
extern "C" ssize_t pwrite(int fd, const void* data, size_t n, off_t at) {
    static const auto real = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    Record(at == 0 ? "front" : "beyond");
    if (gEndAtFront && at == 0) ::_exit(0);
    return real(fd, data, n, at);
}

namespace {

// Each writer that renames a temporary over the name has its bytes on the disk
// first: a crash right after the rename must find the new text, not an empty file.
TEST(AtomicWrite, TextIsOnTheDiskBeforeItTakesTheName) {
    const struct {
        const char* Writer;
        bool Existing;  // the file is there before the write
        std::function<void(const std::string&, std::string_view)> Write;
    } cases[] = {
        {"WriteFileAtomically, a new file", false, WriteFileAtomically},
        {"WriteFileAtomically over a file", true, WriteFileAtomically},
        {"ReplaceFileAtomically", true, ReplaceFileAtomically},
        {"RewriteFileInPlace", true, RewriteFileInPlace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Writer);
        TempFolder dir;
        const std::string path = dir.Path() + "f.txt";
        if (c.Existing) dir.File("f.txt", "old text");
        std::vector<std::string> calls;
        gCalls = &calls;
        c.Write(path, "new text");
        gCalls = nullptr;
        EXPECT_EQ(ReadFileBytes(path), "new text");
        // A new name has no text to lose: it is not worth a sync.
        const std::vector<std::string> expected = c.Existing
                                                      ? std::vector<std::string>{"sync", "rename"}
                                                      : std::vector<std::string>{"rename"};
        EXPECT_EQ(calls, expected);
    }
}

// A file written into itself (it has another name) has the copy of its old text
// on the disk before its front changes: a crash while the front is written finds
// the old text whole beyond the end.
TEST(AtomicWrite, TheOldTextIsOnTheDiskBeforeTheFrontIsWrittenInPlace) {
    TempFolder dir;
    const std::string path = dir.File("f.txt", "old text");
    std::filesystem::create_hard_link(path, dir.Path() + "other.txt");
    std::vector<std::string> calls;
    gCalls = &calls;
    RewriteFileInPlace(path, "new text, longer");
    gCalls = nullptr;
    EXPECT_EQ(ReadFileBytes(dir.Path() + "other.txt"), "new text, longer");
    const auto front = std::find(calls.begin(), calls.end(), "front");
    ASSERT_NE(front, calls.end()) << "the front was not written at its place";
    const auto lastBeyond = std::find(std::make_reverse_iterator(front), calls.rend(), "beyond");
    ASSERT_NE(lastBeyond, calls.rend()) << "nothing was kept beyond the end first";
    EXPECT_NE(std::find(lastBeyond.base(), front, "sync"), front) << "no sync between them";
}

// A rewrite killed as it begins the front leaves the old text to be put back by
// the next reading, of that file only: the same bytes in another file (a copy of
// it, or a file made to look so) are read as they are and left as they are.
TEST(AtomicWrite, OnlyTheFileAKilledRewriteLeftIsPutBack) {
    TempFolder dir;
    const std::string path = dir.File("f.txt", "old text");
    std::filesystem::create_hard_link(path, dir.Path() + "other.txt");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        gEndAtFront = true;
        RewriteFileInPlace(path, "new text, longer");
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write was not cut";
    std::string torn;
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) torn.append(buf, n);
        std::fclose(f);
    }
    ASSERT_NE(torn, "old text");
    const std::string copy = dir.File("copy.txt", torn);
    EXPECT_EQ(ReadFileBytes(copy), torn);
    EXPECT_EQ(ReadFileBytes(copy), torn);  // and the file is as it was
    EXPECT_EQ(ReadFileBytes(path), "old text");
    EXPECT_EQ(ReadFileBytes(dir.Path() + "other.txt"), "old text");
}

}  // namespace
