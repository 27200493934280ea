// Octree colour quantisation: reduces a picture's colours to a small palette
// (used for the 256-colour GIF and PNG pictures), and maps colours to the nearest
// palette entry without dithering.
#pragma once

#include <cstdint>
#include <vector>

// Colours are 0x00RRGGBB.
class TOctreeQuantizer {
public:
    // maxColors: the most leaves the tree may keep (at least 1).
    explicit TOctreeQuantizer(int maxColors);

    void Add(uint8_t r, uint8_t g, uint8_t b);
    // The averaged colour of every leaf, at most maxColors of them; a picture with
    // no more distinct colours than that keeps its colours exactly.
    std::vector<uint32_t> Palette() const;

private:
    struct TNode {
        uint64_t R = 0, G = 0, B = 0;
        uint64_t Count = 0;
        int32_t Child[8];
        bool Leaf = false;
    };
    int32_t NewNode(int level);
    void Reduce();
    void Collect(int32_t node, std::vector<uint32_t>& out) const;

    int maxColors_;
    int leafCount_ = 0;
    std::vector<TNode> nodes_;
    std::vector<int32_t> free_;
    // Internal nodes by level, 0 (the root) to 7: the candidates for merging.
    std::vector<int32_t> reducible_[8];
};

// Finds the nearest palette entry (least squared RGB distance, the lowest index on
// a tie). Photos hold hundreds of thousands of colours, so the colour cube is cut
// into cells, and each cell keeps only the entries that can be nearest to some
// colour inside it; recent answers are remembered as well.
class TNearestColor {
public:
    explicit TNearestColor(std::vector<uint32_t> palette);
    uint8_t Find(uint32_t rgb);

private:
    const std::vector<uint8_t>& Candidates(uint32_t rgb);

    std::vector<uint32_t> palette_;
    std::vector<std::vector<uint8_t>> cells_;
    std::vector<uint32_t> cacheKey_;
    std::vector<uint8_t> cacheIndex_;
};
