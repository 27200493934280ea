// Making the converter's own working files in its folder ("tmpaudio.wav", the batch
// file): whatever stands under the name is taken away first and the file is made
// anew, so that a link put there is never written through (its target keeps its
// text) and a pipe never holds the writer.
#pragma once

#include <string>

// Removes what stands under Path (not a folder) and creates Path exclusively,
// without following a link, for writing, with Mode (less the umask). The
// descriptor (close-on-exec), or -1 with errno set.
int CreateOwnFile(const std::string& Path, unsigned Mode);
