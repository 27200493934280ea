#include "mms_maker.h"

// Pictures are packed as they are until the re-encoders are in place.
void TMmsMaker::ParsePicEncodeInfo() {}

void TMmsMaker::RecodePicture(std::string&) {}
