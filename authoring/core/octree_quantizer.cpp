#include "octree_quantizer.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

TOctreeQuantizer::TOctreeQuantizer(int maxColors) : maxColors_(std::max(1, maxColors)) {
    nodes_.reserve(1024);
    NewNode(0);
}

int32_t TOctreeQuantizer::NewNode(int level) {
    int32_t id;
    if (!free_.empty()) {
        id = free_.back();
        free_.pop_back();
        nodes_[id] = TNode{};
    } else {
        id = static_cast<int32_t>(nodes_.size());
        nodes_.emplace_back();
    }
    TNode& n = nodes_[id];
    std::fill(std::begin(n.Child), std::end(n.Child), -1);
    // Level 8 holds single colours; those are leaves from the start.
    if (level == 8) {
        n.Leaf = true;
        ++leafCount_;
    } else {
        reducible_[level].push_back(id);
    }
    return id;
}

void TOctreeQuantizer::Add(uint8_t r, uint8_t g, uint8_t b) {
    int32_t id = 0;
    for (int level = 0;; ++level) {
        TNode& n = nodes_[id];
        n.Count++;
        if (n.Leaf) {
            n.R += r;
            n.G += g;
            n.B += b;
            break;
        }
        const int shift = 7 - level;
        const int k = (((r >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) | ((b >> shift) & 1);
        int32_t child = n.Child[k];
        if (child < 0) {
            child = NewNode(level + 1);  // may move nodes_: look the parent up again
            nodes_[id].Child[k] = child;
        }
        id = child;
    }
    while (leafCount_ > maxColors_) Reduce();
}

// Merges the least-used node of the deepest level that still has inner nodes: its
// children are all leaves, and it becomes one leaf holding their average.
void TOctreeQuantizer::Reduce() {
    int level = 7;
    while (level >= 0 && reducible_[level].empty()) --level;
    if (level < 0) throw std::logic_error("octree cannot be reduced further");
    auto& list = reducible_[level];
    size_t best = 0;
    for (size_t i = 1; i < list.size(); ++i)
        if (nodes_[list[i]].Count < nodes_[list[best]].Count) best = i;
    const int32_t id = list[best];
    list[best] = list.back();
    list.pop_back();

    TNode& n = nodes_[id];
    int children = 0;
    for (int32_t& c : n.Child) {
        if (c < 0) continue;
        n.R += nodes_[c].R;
        n.G += nodes_[c].G;
        n.B += nodes_[c].B;
        free_.push_back(c);
        c = -1;
        ++children;
    }
    n.Leaf = true;
    leafCount_ -= children - 1;
}

void TOctreeQuantizer::Collect(int32_t id, std::vector<uint32_t>& out) const {
    const TNode& n = nodes_[id];
    if (n.Leaf) {
        if (n.Count == 0) return;
        auto avg = [&](uint64_t sum) { return static_cast<uint32_t>((sum + n.Count / 2) / n.Count); };
        out.push_back((avg(n.R) << 16) | (avg(n.G) << 8) | avg(n.B));
        return;
    }
    for (int32_t c : n.Child)
        if (c >= 0) Collect(c, out);
}

std::vector<uint32_t> TOctreeQuantizer::Palette() const {
    std::vector<uint32_t> out;
    Collect(0, out);
    return out;
}

namespace {
constexpr size_t kCacheSize = 1 << 14;
constexpr int kCellBits = 5;  // per channel: 32 x 32 x 32 cells of 8 x 8 x 8 colours
constexpr int kCellShift = 8 - kCellBits;

int Channel(uint32_t c, int i) { return static_cast<int>((c >> (16 - 8 * i)) & 0xFF); }

int Distance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int i = 0; i < 3; ++i) {
        const int x = Channel(a, i) - Channel(b, i);
        d += x * x;
    }
    return d;
}
}  // namespace

TNearestColor::TNearestColor(std::vector<uint32_t> palette)
    : palette_(std::move(palette)),
      cells_(size_t(1) << (3 * kCellBits)),
      cacheKey_(kCacheSize, 0xFFFFFFFFu),
      cacheIndex_(kCacheSize, 0) {
    if (palette_.empty() || palette_.size() > 256) throw std::invalid_argument("palette needs 1 to 256 colours");
}

// The entries whose least distance to the cell does not exceed the smallest
// greatest distance of any entry: the nearest entry of every colour in the cell,
// ties included, is among them.
const std::vector<uint8_t>& TNearestColor::Candidates(uint32_t rgb) {
    int lo[3];
    size_t cell = 0;
    for (int i = 0; i < 3; ++i) {
        const int c = Channel(rgb, i) >> kCellShift;
        lo[i] = c << kCellShift;
        cell = (cell << kCellBits) | static_cast<size_t>(c);
    }
    std::vector<uint8_t>& list = cells_[cell];
    if (!list.empty()) return list;
    const int hiOffset = (1 << kCellShift) - 1;
    std::vector<int> nearest(palette_.size());
    int bound = 1 << 30;
    for (size_t k = 0; k < palette_.size(); ++k) {
        int minD = 0, maxD = 0;
        for (int i = 0; i < 3; ++i) {
            const int p = Channel(palette_[k], i), a = lo[i], b = lo[i] + hiOffset;
            const int in = p < a ? a - p : (p > b ? p - b : 0);
            const int out = std::max(std::abs(p - a), std::abs(p - b));
            minD += in * in;
            maxD += out * out;
        }
        nearest[k] = minD;
        bound = std::min(bound, maxD);
    }
    for (size_t k = 0; k < palette_.size(); ++k)
        if (nearest[k] <= bound) list.push_back(static_cast<uint8_t>(k));
    return list;
}

uint8_t TNearestColor::Find(uint32_t rgb) {
    rgb &= 0xFFFFFF;
    const size_t slot = (rgb * 2654435761u) >> (32 - 14);
    if (cacheKey_[slot] == rgb) return cacheIndex_[slot];
    uint8_t best = 0;
    int bestDist = 1 << 30;
    // Candidates are in index order, so the first of equal distances wins.
    for (uint8_t k : Candidates(rgb)) {
        const int d = Distance(rgb, palette_[k]);
        if (d < bestDist) {
            bestDist = d;
            best = k;
        }
    }
    cacheKey_[slot] = rgb;
    cacheIndex_[slot] = best;
    return best;
}
