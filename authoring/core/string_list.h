// Text files as lists of lines, read and written the way the program's string
// lists do: ANSI (code page 936) bytes, lines split at CR LF, a lone CR or a lone
// LF; saved with CR LF after every line, the last one included; no byte-order mark.
#pragma once

#include <string>
#include <string_view>
#include <vector>

using TStringList = std::vector<std::string>;

// Splits text at CR LF, lone CR or lone LF; a final line break adds no empty line.
TStringList SplitLines(std::string_view text);
// Joins lines, each followed by CR LF.
std::string JoinLines(const TStringList& lines);
// The text with every line followed by CR LF, as JoinLines(SplitLines(text)) gives
// it, without a list of lines; a text that has its line ends so already comes back
// as it is.
std::string CrLfLines(std::string text);

// The reason of a failed file operation (an errno value), in Chinese for the usual
// ones, for messages shown to the user.
std::string FileErrorText(int err);

// Reads a whole file's bytes; throws std::runtime_error when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Gives a file that a rewrite into itself left unfinished (a kill) its old text
// back (RecoverFileWrite); nothing happens to any other file. Throws
// std::runtime_error when it cannot be done.
void RecoverUnfinishedRewrite(const std::string& path);
// Writes bytes to a file, replacing it; throws std::runtime_error on failure.
void WriteFileBytes(const std::string& path, std::string_view bytes);
// Writes through a temporary file beside the target and renames it into place, so
// a failed write never leaves a half-written target; where it replaces a file,
// the temporary's bytes are on the disk before the rename, so a crash never
// leaves an empty file under the name. The temporary name is short (any name up to the file
// system's limit can be written) and made anew without following a link; the rename replaces a link
// standing under the name itself. A new file has the usual mode of a new file
// (0666 less the umask); a file made again keeps the mode, group and extended
// attributes of the one it replaces, as far as the system lets this user keep them.
void WriteFileAtomically(const std::string& path, std::string_view bytes);
// Rewrites a file the user keeps (the settings file) as a profile does, into the
// file itself: through a link to its target (the link stays a link), keeping the
// target's mode, owner, group and extended attributes, atomically through a
// temporary beside the target where one can be made and can be given all of them,
// and in place where not (a folder that may not be written, a full disk, a file
// with other hard links, a file of another user or of a group this user is not
// in), then so that a kill leaves what the next reading (RecoverFileWrite) turns
// into the old text or the new one whole (WriteIntoFile). A file that may not be
// written, or no room for the write in place, is refused. A missing file is
// created. Throws std::runtime_error on failure.
void RewriteFileInPlace(const std::string& path, std::string_view bytes);
// Replaces a user's file as a whole: through a link to its target (the link stays),
// keeping the target's mode, owner, group and extended attributes, through a
// temporary beside it that is renamed over it. Until the new text stands the old
// one is there whole; when no temporary can be made or filled (a folder that may
// not be written, a full disk) the file is left as it was. Where a new file would
// lose what the file is (other hard links, an owner or group this user cannot give
// it, attributes that cannot be set), the text is written into the file itself, as
// a plain write would. A missing file is created (a dangling link's target too); a
// folder or a file that may not be written is refused. Throws std::runtime_error
// with the file and the reason.
void ReplaceFileAtomically(const std::string& path, std::string_view bytes);
// Removes the temporaries that a writer above left beside path (and beside the
// target of a link standing there) when it was killed before its rename: only
// names of their own form made on this host (its name is in theirs), regular files
// of this user, whose writing process no longer runs here, and which have not been
// written for kStaleTemporaryAge seconds.
void RemoveStaleTemporaries(const std::string& path);
constexpr long kStaleTemporaryAge = 10 * 60;
// Writes a file that belongs to a working folder (the temporary folder): whatever
// stands under the name (file or link) is removed, and the file is created anew
// without following a link, so nothing is ever written outside the folder.
// Throws std::runtime_error on failure; a failed write leaves no file behind.
void WriteNewFile(const std::string& path, std::string_view bytes);
// The same without removing anything: fails when the name is taken (by a file, a
// link or a folder), so an existing file is never replaced.
void CreateNewFile(const std::string& path, std::string_view bytes);

// Loads a text file into UTF-8 lines: ANSI, or UTF-8 by its mark or by the rule of
// TextFormOf.
TStringList LoadStringList(const std::string& path);
// Saves UTF-8 lines as an ANSI text file, or as UTF-8 where ANSI would lose or
// garble them (StoredTextBytes), rewriting the file as RewriteFileInPlace does.
void SaveStringList(const std::string& path, const TStringList& lines);
