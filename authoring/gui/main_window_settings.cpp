// Settings, templates and making: placeholders until the settings store, the
// template list and the builder's window side are wired in.
#include "main_window.h"

void Tfrmmms::LoadSettings() {}

void Tfrmmms::ShowSettings() {}

void Tfrmmms::SBSavecfgClick() {}

void Tfrmmms::LoadSmilTemplates() {}

void Tfrmmms::SBNewmmsClick() {}
