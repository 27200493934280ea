// A list of text lines that the runner thread fills while its caller may look at
// it: the captured lines of a run and a caller's mirror list. Every operation is
// guarded, so the two threads never race on it.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class TLineList {
public:
    int Count() const;
    // The line at Index (0 is the oldest); empty when Index is out of range.
    std::string Strings(int Index) const;
    void SetStrings(int Index, const std::string& Value);
    void Add(const std::string& Value);
    void Add(std::string&& Value);
    void Delete(int Index);
    void Clear();
    // Deletes the oldest lines while more than MaxCount remain.
    void KeepNewest(int MaxCount);
    // Replaces the last line by Value, or adds Value when the list is empty.
    void SetLast(const std::string& Value);
    // Appends Tail to the last line, or adds it when the list is empty.
    void AppendToLast(std::string_view Tail);
    std::vector<std::string> ToVector() const;

private:
    mutable std::mutex FLock;
    std::deque<std::string> FLines;
};
