// Profile (INI) files read and written one key at a time, with the rules of the
// classic profile functions: sections and keys are found without regard to ASCII
// case, a missing file or section is created, a key is replaced in place or
// appended at the end of its section, every other line is kept byte for byte, a
// value is cut at 2,047 characters when read, and a failed write is reported.
// The file is ANSI (code page 936) unless it is Unicode (a byte-order mark, or UTF-8
// by the rule of TextFormOf); then it is read in that form and keeps it and its mark
// when written. Names and values in memory are UTF-8.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Raised when a key cannot be written.
class EIniWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How the profile reaches its file; tests replace it to make a write fail.
class TIniFileAccess {
public:
    virtual ~TIniFileAccess() = default;
    // False when the file does not exist; throws when it exists but cannot be read.
    virtual bool Read(const std::string& path, std::string& bytes) = 0;
    // Replaces the whole file; throws on failure.
    virtual void Write(const std::string& path, std::string_view bytes) = 0;
    // Keeps other programs from reading and writing the file while the result
    // lives (a read, then a write made from it); throws when a write cannot have
    // the file to itself. Nothing by default.
    virtual std::shared_ptr<void> Hold(const std::string& path, bool forWrite);
};

// The disk, written into the file itself (RewriteFileInPlace): through a link to its
// target, keeping its mode, atomically where a temporary file can be made beside
// it and in place where not; a file that may not be written is refused.
// A read first finishes what a write into the file killed midway left (the old
// text back whole); a hold is a lock on the file's folder (TFolderLock).
class TDiskIniAccess : public TIniFileAccess {
public:
    bool Read(const std::string& path, std::string& bytes) override;
    void Write(const std::string& path, std::string_view bytes) override;
    std::shared_ptr<void> Hold(const std::string& path, bool forWrite) override;
};

// Keys and their values in the order they are to be written.
using TIniEntries = std::vector<std::pair<std::string, std::string>>;

// One section as read from the file at one moment: each key's value as ReadString
// gives it (the first line of a key counts).
class TIniSection {
public:
    std::string Read(std::string_view key, std::string_view def) const;

private:
    friend class TIniProfile;
    bool unicode_ = false;
    std::unordered_map<std::string, std::string> values_;  // lower-cased key -> raw value
};

class TIniProfile {
public:
    static constexpr size_t kMaxValueLength = 2047;

    // access may be null for the disk.
    explicit TIniProfile(std::string path, TIniFileAccess* access = nullptr);

    const std::string& Path() const { return path_; }

    // The key's value, or def when the file, the section or the key is missing.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    // The whole section with one reading of the file (an empty one when the file
    // or the section is missing or cannot be read).
    TIniSection ReadSection(std::string_view section) const;
    // Writes one key; throws EIniWriteError when the file cannot be written.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Writes the keys with one rewrite of the file: all of them or, on failure
    // (EIniWriteError), none. Each is set as WriteString would set it, in order.
    void WriteStrings(std::string_view section, const TIniEntries& entries);

    // The same rules on a file's bytes, for callers that hold the text.
    static bool FindValue(std::string_view file, std::string_view section, std::string_view key,
                          std::string& value);
    static std::string SetValue(std::string_view file, std::string_view section,
                                std::string_view key, std::string_view value);
    // Sets every key in one pass over the file, as SetValue would one after the other.
    static std::string SetValues(std::string_view file, std::string_view section,
                                 const TIniEntries& entries);

private:
    std::string path_;
    TIniFileAccess* access_;
    TDiskIniAccess disk_;
};
