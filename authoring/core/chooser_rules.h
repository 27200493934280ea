// The rules of the three material choosers (sound clip, picture, text) that need no
// window: partner clips, the play-time caption, text counting and the in-place ANSI
// rewrite of a clicked text file, picture listing and thumbnail fitting.
#pragma once

#include <QImage>
#include <cstdint>
#include <optional>
#include <string>

#include "string_list.h"

// ---- sound clips -------------------------------------------------------------
//
// A ZUR clip cannot be played, so it comes with a same-named ".wav", ".wma" or
// ".mp3" in its folder that is played and timed in its place.

// The file to send: the same-named ".zur" for a ".mp3", ".wav" or ".wma" when one
// exists, otherwise path itself.
std::string GetSendAudioFile(const std::string& path);
// The file to play and time: for a ".zur" its partner (".wav" before ".wma" before
// ".mp3"), or empty when it has none; any other path unchanged.
std::string GetPlayableAudioFile(const std::string& path);
// True for MIDI (played and sent as it is), for a ".zur" with a playable partner and
// for a ".mp3", ".wma" or ".wav" with a ".zur" partner.
bool HasLinkedFile(const std::string& path);

inline constexpr const char* kLinkedText = "有关联文件";
inline constexpr const char* kNotLinkedText = "无关联文件";
inline constexpr const char* kPlayTimeZero = "播放时间 00:00";
inline constexpr const char* kZurPlayHint =
    "如果是播放zur，请用户上面工具進行转换,并放在同一目录下";

// "播放时间 MM:SS /共N秒" for a clip of ms milliseconds (whole seconds, truncated;
// minutes grow past two digits).
std::string PlayTimeCaption(int64_t ms);

// ---- text --------------------------------------------------------------------

// The length of an editor text as the user is told it: the text as it will be
// stored (ANSI, CR LF line breaks) counted in UTF-16 units. utf8 uses "\n" breaks.
int32_t CountTextUnits(const std::string& utf8);
// n, followed by " 超限！" when n is over maxLen.
std::string TextLengthCaption(int32_t n, int32_t maxLen);

// The reading time of a page text in seconds: the text stored as lines, each
// followed by CR LF, counted in UTF-16 units, divided by the reading speed
// (characters per 100 seconds, taken per whole second), at least 1. Empty when the
// speed is below 100 characters per 100 seconds.
std::optional<int32_t> ReadingTimeSecs(const std::string& utf8, int32_t charsPer100Secs);

// A text file clicked in the text chooser is normalised in place: written back as
// ANSI lines ended by CR LF when its decoded text differs from that. A file whose
// characters ANSI cannot all hold is left untouched, so that nothing is lost.
struct TClickedText {
    std::string Utf8Text;     // what the editor shows
    bool Rewritten = false;   // the file was written back as ANSI
    bool KeptAsIs = false;    // it needed a rewrite, but ANSI would lose characters
};
// Throws std::runtime_error when the file cannot be read or written.
TClickedText NormaliseClickedTextFile(const std::string& path);

// The preset of the text editor: the file's text as the message will carry it
// (LoadTextAsUtf8: read by its form, up to its first NUL character).
// Throws std::runtime_error when the file cannot be read.
std::string LoadEditorText(const std::string& path);

// ---- pictures ----------------------------------------------------------------

// The picture files of a folder (no subfolders searched), sorted without regard to
// case; names that differ only in case are both kept.
TStringList CollectPictureNames(const std::string& folder);

struct TFitRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};
// Where a width x height picture goes in a bw x bh box: scaled down to fit (never
// enlarged, rounding half to even) and centred.
TFitRect FitRect(int width, int height, int bw, int bh);
// A thumbnail side from the settings, kept within a usable range.
int ClampThumbSide(int32_t side);
// The picture shrunk (averaging the area it covers) into a new white bw x bh
// picture at FitRect.
QImage FitBitmap(const QImage& picture, int bw, int bh);
// The thumbnail of a picture file, decoded by its extension with the re-encoder's
// decoders (upright, a JPEG by DCT scaling close to the thumbnail's size); empty
// when the file cannot be read or decoded, a damaged picture included.
std::optional<QImage> LoadThumbnail(const std::string& path, int bw, int bh);

// ---- both --------------------------------------------------------------------

// The folder part (ending with "/") of a path shown in a status panel when that
// folder exists, else empty.
std::string ExistingFolderOf(const std::string& path);
