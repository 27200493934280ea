#include "line_list.h"

int TLineList::Count() const {
    std::lock_guard<std::mutex> lock(FLock);
    return static_cast<int>(FLines.size());
}

std::string TLineList::Strings(int Index) const {
    std::lock_guard<std::mutex> lock(FLock);
    if (Index < 0 || Index >= static_cast<int>(FLines.size())) return {};
    return FLines[Index];
}

void TLineList::SetStrings(int Index, const std::string& Value) {
    std::lock_guard<std::mutex> lock(FLock);
    if (Index >= 0 && Index < static_cast<int>(FLines.size())) FLines[Index] = Value;
}

void TLineList::Add(const std::string& Value) {
    std::lock_guard<std::mutex> lock(FLock);
    FLines.push_back(Value);
}

void TLineList::Add(std::string&& Value) {
    std::lock_guard<std::mutex> lock(FLock);
    FLines.push_back(std::move(Value));
}

void TLineList::Delete(int Index) {
    std::lock_guard<std::mutex> lock(FLock);
    if (Index >= 0 && Index < static_cast<int>(FLines.size())) FLines.erase(FLines.begin() + Index);
}

void TLineList::Clear() {
    std::lock_guard<std::mutex> lock(FLock);
    FLines.clear();
}

void TLineList::KeepNewest(int MaxCount) {
    std::lock_guard<std::mutex> lock(FLock);
    while (static_cast<int>(FLines.size()) > MaxCount) FLines.pop_front();
}

void TLineList::SetLast(const std::string& Value) {
    std::lock_guard<std::mutex> lock(FLock);
    if (FLines.empty())
        FLines.push_back(Value);
    else
        FLines.back() = Value;
}

std::vector<std::string> TLineList::ToVector() const {
    std::lock_guard<std::mutex> lock(FLock);
    return {FLines.begin(), FLines.end()};
}

void TLineList::AppendToLast(std::string_view Tail) {
    std::lock_guard<std::mutex> lock(FLock);
    if (FLines.empty())
        FLines.emplace_back(Tail);
    else
        FLines.back().append(Tail);
}
