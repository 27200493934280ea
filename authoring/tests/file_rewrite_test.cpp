// Rewriting a file the user keeps (an address list, a text converted by the tools)
// or making a file again (a message, the autosave) leaves it what its user made of
// it: a link stays a link, other names see the new text, the mode, the group and
// the extended attributes stay; a file that may not be written is refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

#include "batch_make.h"
#include "string_list.h"
#include "test_support.h"
#include "text_codec.h"
#include "text_tools.h"
#include "working_copy.h"

namespace {

namespace fs = std::filesystem;

// A rewrite of a user's file, the old bytes it is given and the new bytes it leaves.
struct TRewrite {
    const char* Name;
    std::string Old;
    std::string New;
    std::function<void(const std::string&)> Run;
};

std::vector<TRewrite> UserFileRewrites() {
    return {
        {"address list",
         "\xEF\xBB\xBF"
         "13800000000\n",
         "13800000000\r\n", [](const std::string& p) { LoadAddressSource(p); }},
        {"subject list",
         "\xEF\xBB\xBF"
         "hello",
         "hello\r\n", [](const std::string& p) { LoadSubjectSource(p); }},
        {"text tool", Utf8ToCp936("通知\r\n"),
         "\xEF\xBB\xBF"
         "通知\r\n",
         [](const std::string& p) { ConvertTextFile(p, TTextEncoding::Utf8); }},
    };
}

mode_t ModeOf(const std::string& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

std::string Attribute(const std::string& p, const char* name) {
    char value[64];
    const ssize_t n = ::getxattr(p.c_str(), name, value, sizeof(value));
    return n < 0 ? std::string("(none)") : std::string(value, static_cast<size_t>(n));
}

TEST(UserFileRewrite, KeepsWhatTheFileIs) {
    for (const TRewrite& w : UserFileRewrites()) {
        SCOPED_TRACE(w.Name);
        TempFolder tmp;
        const std::string d = tmp.Path();

        // A link stays a link; its target takes the new text.
        fs::create_directories(d + "real");
        const std::string target = tmp.File("real/list.txt", w.Old);
        fs::create_symlink("real/list.txt", d + "link.txt");
        w.Run(d + "link.txt");
        EXPECT_TRUE(fs::is_symlink(d + "link.txt"));
        EXPECT_EQ(ReadFileBytes(target), w.New);

        // A private file stays private.
        const std::string priv = tmp.File("private.txt", w.Old);
        ::chmod(priv.c_str(), 0600);
        w.Run(priv);
        EXPECT_EQ(ModeOf(priv), 0600u);
        EXPECT_EQ(ReadFileBytes(priv), w.New);

        // Its other names see the new text.
        const std::string linked = tmp.File("linked.txt", w.Old);
        fs::create_hard_link(linked, d + "other-name.txt");
        w.Run(linked);
        EXPECT_EQ(ReadFileBytes(d + "other-name.txt"), w.New);
        EXPECT_EQ(fs::hard_link_count(linked), 2u);

        // Its extended attributes stay (where the file system has them).
        const std::string tagged = tmp.File("tagged.txt", w.Old);
        if (::setxattr(tagged.c_str(), "user.origin", "phone", 5, 0) == 0) {
            w.Run(tagged);
            EXPECT_EQ(Attribute(tagged, "user.origin"), "phone");
            EXPECT_EQ(ReadFileBytes(tagged), w.New);
        }
    }
}

TEST(UserFileRewrite, AsTheUserMayWriteIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs to hand files to another user";
    for (const TRewrite& w : UserFileRewrites()) {
        SCOPED_TRACE(w.Name);
        TempFolder tmp;
        const std::string d = tmp.Path();
        ASSERT_EQ(::chown(d.c_str(), 65534, 65534), 0);
        // The user's own file in a group the user is not in (given by the
        // administrator): the group and what it may do stay.
        const std::string grouped = tmp.File("grouped.txt", w.Old);
        ASSERT_EQ(::chown(grouped.c_str(), 65534, 50), 0);
        ::chmod(grouped.c_str(), 0640);
        // A file that may not be written is refused and keeps its text, though its
        // folder would let a new file take its place.
        const std::string readOnly = tmp.File("read-only.txt", w.Old);
        ASSERT_EQ(::chown(readOnly.c_str(), 65534, 65534), 0);
        ::chmod(readOnly.c_str(), 0444);

        EXPECT_TRUE(AsOrdinaryUser([&] {
            w.Run(grouped);
            try {
                w.Run(readOnly);
                return false;
            } catch (const std::runtime_error&) {
            }
            return true;
        }));
        struct stat st {};
        ::stat(grouped.c_str(), &st);
        EXPECT_EQ(st.st_gid, 50u);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(ReadFileBytes(grouped), w.New);
        EXPECT_EQ(ReadFileBytes(readOnly), w.Old);
        EXPECT_EQ(ModeOf(readOnly), 0444u);
    }
}

// A message or the autosave made again over the user's earlier file keeps its mode
// and attributes; a new one has the usual mode.
TEST(UserFileRewrite, AFileMadeAgainKeepsItsModeAndAttributes) {
    TempFolder tmp;
    const std::string message = tmp.File("0001.mms", "old message");
    ::chmod(message.c_str(), 0600);
    const bool tagged = ::setxattr(message.c_str(), "user.origin", "batch", 5, 0) == 0;
    WriteFileAtomically(message, "new message");
    EXPECT_EQ(ReadFileBytes(message), "new message");
    EXPECT_EQ(ModeOf(message), 0600u);
    if (tagged) {
        EXPECT_EQ(Attribute(message, "user.origin"), "batch");
    }

    const mode_t mask = ::umask(022);
    ::umask(mask);
    WriteFileAtomically(tmp.Path() + "0002.mms", "fresh");
    EXPECT_EQ(ModeOf(tmp.Path() + "0002.mms"), 0666u & ~mask);
}

// A user's file with another name is rewritten into itself; a program killed at
// any moment of that leaves what the next reading of the file gives as one whole
// text, the old or the new, under both names: a page's reading, and the copy a
// chooser takes of a text for a page.
TEST(UserFileRewrite, AKilledRewriteIntoTheFileLeavesOneWholeText) {
    const struct {
        const char* Name;
        std::function<std::string(const std::string&)> Read;
    } readers[] = {
        {"a reading", [](const std::string& p) { return ReadFileBytes(p); }},
        {"a material copy", [](const std::string& p) { return ReadMaterialBytes(p); }},
    };
    for (const auto& reader : readers) {
        SCOPED_TRACE(reader.Name);
        TempFolder tmp;
        const std::string path = tmp.Path() + "list.txt", other = tmp.Path() + "other-name.txt";
        const std::string one(3 << 20, '1'), two((2 << 20) + 77, '2');
        WriteFileBytes(path, one);
        fs::create_hard_link(path, other);
        for (int round = 0; round < 24; ++round) {
            int ready[2];
            ASSERT_EQ(::pipe(ready), 0);
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                ::close(ready[0]);
                for (int i = 0;; ++i) {
                    if (i == 0 && ::write(ready[1], "r", 1) != 1) ::_exit(2);
                    try {
                        ReplaceFileAtomically(path, i % 2 ? one : two);
                    } catch (...) {
                        ::_exit(3);
                    }
                }
            }
            ::close(ready[1]);
            char c;
            ASSERT_EQ(::read(ready[0], &c, 1), 1);
            ::close(ready[0]);
            ::usleep(static_cast<useconds_t>(1000 + round * 700));
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFSIGNALED(status)) << "the rewriting child ended by itself: " << status;
            const std::string now = reader.Read(path);
            EXPECT_TRUE(now == one || now == two)
                << "round " << round << ": " << now.size() << " bytes";
            EXPECT_EQ(ReadFileBytes(other), now) << "round " << round;
        }
    }
}

}  // namespace
