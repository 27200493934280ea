#include "message_editor.h"
#include "mms_maker.h"

void TMmsMaker::LoadMms(const std::string&, TMessageEditor&) {}
