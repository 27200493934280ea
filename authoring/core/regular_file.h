// Opening the files the program reads and rewrites (the settings, the autosave, a
// message, a picture, material) so that only a regular file is taken: a pipe or a
// device standing under the name, or put there after a check, is refused at once
// instead of blocking the caller for ever.
#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>

// The errno a refused name gives: whatever stands there is not a regular file.
constexpr int kNotRegularFile = EINVAL;

// Opens path with flags (O_RDONLY, O_WRONLY, ...; O_CLOEXEC is added) without
// blocking, then takes the descriptor only when it is a regular file, and gives it
// back blocking as usual. -1 with errno set on failure (kNotRegularFile, or EISDIR
// for a folder). st, when given, receives the opened file's status.
int OpenRegularFile(const std::string& path, int flags, struct stat* st = nullptr);

// The same as a stream for reading ("rb"); null with errno set on failure.
FILE* OpenRegularStream(const std::string& path);
