#include "charts/tile_codec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr int kColours = 128;  // tile pixels are colour indices 0..127

// Index bits of a sub-palette of n colours: the smallest b with 2^b >= n.
int IndexBits(int n) { return std::bit_width(unsigned(n - 1)); }

// A branch node of a serialised Huffman tree at `node` (tree[node] >= 0x80): its header size
// and the length of its first subtree. False when the header passes `end` or the length is
// below 1 (which would let a walk stand still or go backwards).
bool ReadBranch(const uint8_t* tree, size_t node, size_t end, size_t& header, size_t& first) {
  const uint8_t c = tree[node];
  if (c != 0x80) {
    header = 1;
    first = 256 - c;  // minus the signed byte: 1..127
    return true;
  }
  if (end - node < 3) return false;
  const int length = -int16_t(uint16_t(tree[node + 1] | tree[node + 2] << 8));
  if (length < 1) return false;
  header = 3;
  first = size_t(length);
  return true;
}

// The bit stream of a Huffman tile, least significant bit of each byte first, kept 57 to 64
// bits ahead where the bytes allow.
class StreamBits {
 public:
  StreamBits(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  int available() const { return count_; }
  uint64_t peek() const { return bits_; }
  void Skip(int n) {
    bits_ >>= n;
    count_ -= n;
  }
  void Refill() {
    if (count_ > 56) return;
    if (size_ - next_ >= 8) {
      uint64_t word;
      std::memcpy(&word, data_ + next_, 8);
      // Bits above count_ already hold the following bytes, so OR-ing them again is harmless.
      bits_ |= word << count_;
      const int take = (63 - count_) >> 3;
      next_ += size_t(take);
      count_ += 8 * take;
    } else {
      while (count_ <= 56 && next_ < size_) {
        bits_ |= uint64_t(data_[next_++]) << count_;
        count_ += 8;
      }
    }
  }
  // Bytes of which at least one bit was used.
  size_t used_bytes() const { return next_ - size_t(count_ / 8); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t next_ = 0;
  uint64_t bits_ = 0;
  int count_ = 0;
};

// What the next 8 stream bits give when the walk starts at the root.
struct Lookup {
  enum Kind : uint8_t { kLeaf, kDeeper, kBroken };
  uint16_t value;  // kLeaf: the colour; kDeeper: the node reached after 8 bits
  uint8_t bits;    // bits used
  Kind kind;
};
constexpr int kLookupBits = 8;
constexpr size_t kLookupMinPixels = 512;  // fewer pixels are walked bit by bit

// Fills the entries of every 8-bit pattern whose low `depth` bits are `code`.
void FillLookup(std::array<Lookup, 1 << kLookupBits>& table, const uint8_t* tree, size_t tree_end,
                size_t node, int depth, unsigned code) {
  const auto fill = [&](Lookup entry) {
    for (unsigned p = code; p < table.size(); p += 1u << depth) table[p] = entry;
  };
  if (tree[node] < 0x80) return fill({tree[node], uint8_t(depth), Lookup::kLeaf});
  if (depth == kLookupBits) return fill({uint16_t(node), uint8_t(depth), Lookup::kDeeper});
  size_t header, first;
  if (!ReadBranch(tree, node, tree_end, header, first)) return fill({0, 0, Lookup::kBroken});
  for (unsigned bit = 0; bit < 2; ++bit) {
    const size_t child = node + header + (bit ? first : 0);
    const unsigned child_code = code | bit << depth;
    if (child >= tree_end) {
      for (unsigned p = child_code; p < table.size(); p += 2u << depth) table[p] = {0, 0, Lookup::kBroken};
    } else {
      FillLookup(table, tree, tree_end, child, depth + 1, child_code);
    }
  }
}

// Walks from `node` one bit at a time to a leaf; nullopt when the tree or the stream fails.
std::optional<uint8_t> WalkToLeaf(const uint8_t* tree, size_t tree_end, size_t node,
                                  StreamBits& bits) {
  while (tree[node] >= 0x80) {
    if (bits.available() == 0) {
      bits.Refill();
      if (bits.available() == 0) return std::nullopt;
    }
    size_t header, first;
    if (!ReadBranch(tree, node, tree_end, header, first)) return std::nullopt;
    node += header + ((bits.peek() & 1) ? first : 0);
    bits.Skip(1);
    if (node >= tree_end) return std::nullopt;
  }
  return tree[node];
}

// Run bytes after the sub-palette; returns the end of the last byte used.
std::optional<size_t> DecodeRuns(std::span<const uint8_t> tile, int n, std::span<uint8_t> out) {
  const uint8_t* palette = tile.data() + 1;
  const int b = IndexBits(n);
  const unsigned mask = (1u << b) - 1;
  size_t pos = 1 + size_t(n);
  size_t written = 0;
  while (written < out.size()) {
    if (pos >= tile.size()) return std::nullopt;
    const unsigned v = tile[pos++];
    const unsigned index = v & mask;
    if (index >= unsigned(n)) return std::nullopt;
    // A run passing the requested pixels is cut there (partial decoding cuts runs routinely).
    const size_t run = std::min<size_t>(v >> b, out.size() - written);
    std::memset(out.data() + written, palette[index], run);
    written += run;
  }
  return pos;
}

// Packed u32 words after the sub-palette; returns the end of the last word used.
std::optional<size_t> DecodePacked(std::span<const uint8_t> tile, int n, std::span<uint8_t> out) {
  const uint8_t* palette = tile.data() + 1;
  const size_t start = 1 + size_t(n);
  if (n == 1) {
    std::fill(out.begin(), out.end(), palette[0]);
    return start;
  }
  const int b = IndexBits(n);
  const unsigned mask = (1u << b) - 1;
  const size_t per_word = size_t(32 / b);
  const size_t words = (out.size() + per_word - 1) / per_word;
  const size_t end = start + 4 * words;
  if (end > tile.size()) return std::nullopt;
  const uint8_t* p = tile.data() + start;
  size_t written = 0;
  for (size_t w = 0; w < words; ++w, p += 4) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    const size_t take = std::min(per_word, out.size() - written);
    for (size_t j = 0; j < take; ++j, word >>= b) {
      const unsigned index = word & mask;
      if (index >= unsigned(n)) return std::nullopt;
      out[written++] = palette[index];
    }
  }
  return end;
}

// Any stored form; returns the end of the bytes used (from the type byte).
std::optional<size_t> DecodeTileBytes(std::span<const uint8_t> tile, std::span<uint8_t> out) {
  if (tile.empty()) return std::nullopt;
  const int type = tile[0];
  if (type == 0) {
    const std::optional<size_t> used = HuffmanDecodeTile(tile.subspan(1), out);
    if (!used) return std::nullopt;
    return 1 + *used;
  }
  if (type == 128) return std::nullopt;
  const int n = type < 128 ? type : 256 - type;
  if (tile.size() < 1 + size_t(n)) return std::nullopt;
  // Colours above 127 would index past the blend table of every renderer.
  if (std::any_of(tile.begin() + 1, tile.begin() + 1 + n, [](uint8_t c) { return c >= kColours; })) {
    return std::nullopt;
  }
  return type < 128 ? DecodeRuns(tile, n, out) : DecodePacked(tile, n, out);
}

// The Huffman candidate of the encoder: the tree as stored and each colour's code.
class HuffmanCode {
 public:
  explicit HuffmanCode(const std::array<uint32_t, kColours>& counts) {
    // One leaf per present colour in increasing order; then repeatedly the two nodes of
    // smallest count (earliest first among equals) become a branch whose first subtree is the
    // second-smallest and whose second is the smallest, in the smallest node's place.
    std::vector<int> list;
    for (int v = 0; v < kColours; ++v) {
      if (counts[v] != 0) list.push_back(NewNode(counts[v], -1, -1, v));
    }
    while (list.size() > 1) {
      size_t smallest = 0;
      for (size_t i = 1; i < list.size(); ++i) {
        if (nodes_[list[i]].count < nodes_[list[smallest]].count) smallest = i;
      }
      size_t second = smallest == 0 ? 1 : 0;
      for (size_t i = 0; i < list.size(); ++i) {
        if (i != smallest && nodes_[list[i]].count < nodes_[list[second]].count) second = i;
      }
      const int branch = NewNode(nodes_[list[smallest]].count + nodes_[list[second]].count,
                                 list[second], list[smallest], -1);
      list[smallest] = branch;
      list.erase(list.begin() + std::ptrdiff_t(second));
    }
    Serialise(list[0], 0, 0);
  }

  const std::vector<uint8_t>& tree() const { return tree_; }
  // Bits of a colour's code, least significant first (bit i = the choice at depth i). Codes of
  // a tile stay short: a depth of d needs a total count of at least Fibonacci(d + 2).
  uint32_t code(int colour) const { return code_[colour]; }
  int length(int colour) const { return length_[colour]; }

 private:
  struct Node {
    uint32_t count;
    int first, second, colour;  // colour >= 0: a leaf
    size_t size = 0;            // serialised bytes
  };

  int NewNode(uint32_t count, int first, int second, int colour) {
    Node node{count, first, second, colour};
    node.size = colour >= 0 ? 1 : BranchHeader(nodes_[first].size) + nodes_[first].size +
                                      nodes_[second].size;
    nodes_.push_back(node);
    return int(nodes_.size() - 1);
  }

  static size_t BranchHeader(size_t first_size) { return first_size < 128 ? 1 : 3; }

  void Serialise(int index, uint32_t code, int depth) {
    const Node& node = nodes_[index];
    if (node.colour >= 0) {
      tree_.push_back(uint8_t(node.colour));
      code_[node.colour] = code;
      length_[node.colour] = depth;
      return;
    }
    const size_t first = nodes_[node.first].size;
    const uint16_t minus = uint16_t(-int(first));
    if (first < 128) {
      tree_.push_back(uint8_t(minus));
    } else {
      tree_.insert(tree_.end(), {uint8_t{0x80}, uint8_t(minus), uint8_t(minus >> 8)});
    }
    Serialise(node.first, code, depth + 1);
    Serialise(node.second, code | (1u << depth), depth + 1);
  }

  std::vector<Node> nodes_;
  std::vector<uint8_t> tree_;
  std::array<uint32_t, kColours> code_{};
  std::array<int, kColours> length_{};
};

}  // namespace

void ReorderTileRows(std::span<const uint8_t, kTilePixels> in,
                     std::span<uint8_t, kTilePixels> out) {
  for (int row = 0; row < kTileSide; ++row) {
    std::memcpy(out.data() + ReverseBits6(row) * kTileSide, in.data() + row * kTileSide,
                kTileSide);
  }
}

std::optional<size_t> HuffmanDecodeTile(std::span<const uint8_t> tree, std::span<uint8_t> out) {
  if (tree.empty() || out.size() > size_t(kTilePixels)) return std::nullopt;
  const uint8_t* t = tree.data();
  // The tree ends with the node reached by always taking the second subtree.
  size_t node = 0;
  while (t[node] >= 0x80) {
    size_t header, first;
    if (!ReadBranch(t, node, tree.size(), header, first)) return std::nullopt;
    node += header + first;
    if (node >= tree.size()) return std::nullopt;
  }
  const size_t tree_end = node + 1;
  if (t[0] < 0x80) {  // a single leaf: no stream
    std::fill(out.begin(), out.end(), t[0]);
    return tree_end;
  }

  StreamBits bits(t + tree_end, tree.size() - tree_end);
  // Most codes are resolved by one look-up of 8 bits; building the table pays off only when
  // many pixels are wanted. Near the end of the stream the walk goes bit by bit, so that no
  // bit past the stream is ever used.
  std::array<Lookup, 1 << kLookupBits> table;
  const bool use_table = out.size() >= kLookupMinPixels;
  if (use_table) FillLookup(table, t, tree_end, 0, 0, 0);
  for (uint8_t& pixel : out) {
    bits.Refill();
    size_t start = 0;
    if (use_table && bits.available() >= kLookupBits) {
      const Lookup& entry = table[bits.peek() & 0xFF];
      if (entry.kind == Lookup::kBroken) return std::nullopt;
      bits.Skip(entry.bits);
      if (entry.kind == Lookup::kLeaf) {
        pixel = uint8_t(entry.value);
        continue;
      }
      start = entry.value;
    }
    const std::optional<uint8_t> leaf = WalkToLeaf(t, tree_end, start, bits);
    if (!leaf) return std::nullopt;
    pixel = *leaf;
  }
  return tree_end + bits.used_bytes();
}

bool DecodeTile(std::span<const uint8_t> tile, std::span<uint8_t, kTilePixels> out, int rows) {
  const std::span<uint8_t> wanted = out.first(size_t(std::clamp(rows, 0, kTileSide)) * kTileSide);
  if (wanted.empty()) return true;
  if (DecodeTileBytes(tile, wanted)) return true;
  std::fill(wanted.begin(), wanted.end(), uint8_t{0});
  return false;
}

size_t TileEncodedSize(std::span<const uint8_t> tile, uint64_t file_offset) {
  std::array<uint8_t, kTilePixels> scratch;
  const std::optional<size_t> used = DecodeTileBytes(tile, scratch);
  if (!used) return 0;
  if (tile[0] != 0 || tile[1] < 0x80) return *used;  // not a Huffman stream, or no stream
  // A word-reading decoder stops at the end of the aligned word holding the last bit.
  const uint64_t end = (file_offset + *used + 3) & ~uint64_t{3};
  return std::min<uint64_t>(end - file_offset, tile.size());
}

size_t EncodeTile(std::span<const uint8_t, kTilePixels> pixels, std::vector<uint8_t>& out) {
  std::array<uint32_t, kColours> counts{};
  for (uint8_t p : pixels) ++counts[p & 0x7F];
  std::array<uint8_t, kColours> palette;
  std::array<uint8_t, kColours> position;
  int n = 0;
  for (int v = 0; v < kColours; ++v) {
    if (counts[v] != 0) {
      position[v] = uint8_t(n);
      palette[n++] = uint8_t(v);
    }
  }
  const int b = IndexBits(n);
  const size_t longest = size_t(255 >> b);

  // Run bytes: a run grows while the next pixel is equal and it is shorter than 255 >> b.
  const auto for_each_run = [&](auto&& emit) {
    for (size_t i = 0; i < pixels.size();) {
      const uint8_t v = pixels[i] & 0x7F;
      size_t run = 1;
      while (i + run < pixels.size() && run < longest && (pixels[i + run] & 0x7F) == v) ++run;
      emit(uint8_t(run << b | position[v]));
      i += run;
    }
  };
  size_t run_bytes = 0;
  for_each_run([&](uint8_t) { ++run_bytes; });

  const HuffmanCode huffman(counts);
  uint64_t stream_bits = 0;
  for (int v = 0; v < kColours; ++v) stream_bits += uint64_t(counts[v]) * huffman.length(v);
  const size_t huffman_bytes = huffman.tree().size() + size_t((stream_bits + 7) / 8);

  // 128 colours don't fit a run-length type byte; their Huffman form is always shorter anyway.
  if (huffman_bytes < run_bytes + size_t(n) || n == kColours) {
    out.push_back(0);
    out.insert(out.end(), huffman.tree().begin(), huffman.tree().end());
    uint64_t pending = 0;
    int pending_bits = 0;
    for (uint8_t p : pixels) {
      const int v = p & 0x7F;
      pending |= uint64_t(huffman.code(v)) << pending_bits;
      pending_bits += huffman.length(v);
      while (pending_bits >= 8) {
        out.push_back(uint8_t(pending));
        pending >>= 8;
        pending_bits -= 8;
      }
    }
    if (pending_bits > 0) out.push_back(uint8_t(pending));
    return huffman_bytes;
  }
  out.push_back(uint8_t(n));
  out.insert(out.end(), palette.begin(), palette.begin() + n);
  for_each_run([&](uint8_t byte) { out.push_back(byte); });
  return size_t(n) + run_bytes;
}
