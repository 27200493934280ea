#include "audio_source.h"

extern "C" {
#include <libavutil/error.h>
}

std::string AvErrorText(int Code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(Code, text, sizeof text);
    return text;
}
