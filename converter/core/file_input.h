// Opening a sound file's container through a descriptor that was checked to be a
// regular file: a pipe or a device under the name, or put there between a check
// and the open, is refused at once instead of holding the caller for ever.
#pragma once

#include <string>

struct AVFormatContext;

// Opens FileName as avformat_open_input would (its name still guides the
// probing); Context is the open container or null. Gives the reason of a
// failure, empty on success.
std::string OpenFileInput(AVFormatContext*& Context, const std::string& FileName);
// Closes a container OpenFileInput opened, with its file; Context becomes null.
void CloseFileInput(AVFormatContext*& Context);
