// Working copies of material in the temporary folder: named with four random
// digits and the source's extension, never under a name that is already taken.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "page_model.h"
#include "services.h"

// A free path tempDir + digits + extension of source, lower-cased unless asked
// to keep it (the page's own choosers keep an upper-case extension). Draws four
// random digits until the name is neither an existing entry of tempDir nor
// reported taken by alsoTaken (e.g. a page still referring to a removed copy).
// After many failed draws the free names are searched in order, and when all
// 10,000 are used the name grows by a digit.
std::string NewWorkingCopyName(const std::string& tempDir, const std::string& source,
                               TRandomSource& rng,
                               const std::function<bool(const std::string&)>& alsoTaken = {},
                               bool lowerCaseExt = true);

// Runs while the source of a copy is open, after its size is taken and before it
// is read (tests change the source there).
using TCopyHook = std::function<void(const std::string& source)>;

// Reads a source whole for a copy. A source whose size is not what was read, at
// the start or at the end of the reading (it shrank or grew under the copy), is
// refused like one that cannot be read: throws std::runtime_error with the reason.
std::string ReadMaterialBytes(const std::string& source, const TCopyHook& whileOpen = {});

// Copies a text file as lines: the text ends before its first NUL character, lines
// end at CR LF, a lone CR or a lone LF, and each is written with CR LF (a missing
// final line end is added). Bytes are otherwise kept; a UTF-16 text with its mark
// is taken by its characters and keeps its form and mark. Throws when the source
// cannot be read whole (nothing is written then) or the copy cannot be written (no
// copy is left then). The copy is made anew and never written through a link.
void CopyTextMaterial(const std::string& source, const std::string& copy,
                      const TCopyHook& whileOpen = {});

// Copies a file byte for byte without replacing an existing target (nor writing
// through a link standing there). Throws when the source cannot be read whole or
// the copy cannot be made in full; a partial copy is removed.
void CopyMaterial(const std::string& source, const std::string& copy,
                  const TCopyHook& whileOpen = {});

// Material taken onto the pages: the slot a file goes into by its name, a free
// working-copy name, and the copy into the temporary folder. A copy that cannot
// be made in full is removed and the user is told in one box (caption "提示")
// naming the file and the reason; the caller then leaves the page as it was.
class TMaterialIntake {
public:
    // tempDir ends with "/". A name a page still refers to counts as taken.
    TMaterialIntake(std::string tempDir, TRandomSource& rng, TQuestions& questions,
                    const TPageList& pages);

    // Text, picture or audio by the name's extension; anything else an attachment.
    static TMediaKind KindOf(const std::string& path);

    // A free working-copy name for source (see NewWorkingCopyName).
    std::string NewName(const std::string& source, bool lowerCaseExt = true) const;

    // Whether source can be material at all: an existing file, not a folder or a
    // device. When not, the user is told and false comes back.
    bool Admits(const std::string& source);

    // Copies source for a slot of that kind (a text as lines with CR LF, anything
    // else byte for byte) and gives the copy's path; "" when it failed (told). A
    // source that changed its size while it was copied counts as failed.
    std::string Take(const std::string& source, TMediaKind kind, bool lowerCaseExt = true);

    // For tests: runs during each copy (see TCopyHook).
    TCopyHook FWhileCopying;

    // Saves a text (UTF-8, any line breaks) as a new working text file, each line
    // followed by CR LF: ANSI where that reads back the same, else UTF-8
    // (StoredTextBytes); "" when it failed (told).
    std::string TakeText(std::string_view text);

private:
    void TellFailure(const std::string& source, const std::string& reason);
    bool InUse(const std::string& path) const;

    std::string tempDir_;
    TRandomSource& rng_;
    TQuestions& questions_;
    const TPageList& pages_;
};
