// The pages a SMIL document's body gives, read in one pass over the document.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One page: the sources it names, as written, and the duration text of its element
// (of the first element inside it that has one when it has none itself).
struct TSmilPage {
    bool HasDur = false;
    std::string Dur;
    std::vector<std::string> Sources;
};

// The body is a sequence: each "par" in it (or in a "seq", however deep) is one
// page with every source inside it; each media element standing in the sequence
// itself is a page of its own. Elements other than "par" and media (the body, a
// "seq", a link) only hold the sequence; "head" gives no page. Names of elements
// and attributes are compared without regard to ASCII case. Loose markup is read
// as far as it goes: an element left open runs to the close of an element that
// holds it, or to the end of the document; a media element left open ends at the
// next media element. Time and memory are linear in the document's length.
std::vector<TSmilPage> SmilPages(std::string_view smil);

// A duration as written ("5000ms", "8s", "3 s") as the number SetPlayTime takes:
// quotes, blanks, "ms" and "s" removed, the rest a whole decimal number. False when
// it is not one.
bool SmilDuration(std::string_view dur, int32_t& value);
