// Working copies of material in the temporary folder: named with four random
// digits and the source's extension, never under a name that is already taken.
#pragma once

#include <functional>
#include <string>

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

// Copies a text file as lines: the text ends before its first NUL byte, lines end
// at CR LF, a lone CR or a lone LF, and each is written with CR LF (a missing
// final line end is added). Bytes are otherwise kept. Throws when the source
// cannot be read (nothing is written then) or the copy cannot be written.
void CopyTextMaterial(const std::string& source, const std::string& copy);

// Copies a file byte for byte without replacing an existing target; false when
// the copy could not be made.
bool CopyMaterial(const std::string& source, const std::string& copy);
