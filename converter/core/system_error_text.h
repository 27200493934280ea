// The reason of a failed file operation (an errno value) as the converter window
// tells it: in Chinese for the usual ones, the system's text for any other.
#pragma once

#include <string>

std::string SystemErrorText(int Errno);
