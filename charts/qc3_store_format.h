#pragma once
// The chunk store of chunk-store charts (".qc3"), shared by its readers: the server's file and a
// local store have this layout. All integers little-endian; addresses are CLockedFile addresses
// (the header and the index always lie in the first 4 GiB of part 0).
//
//   0    QC3StoreHeader (40 bytes)
//   40   chunk index: down x across int64 entries, row-major: 0 = not stored, -1 = blank
//        (colour index 1 everywhere), else the address of the chunk record
//   ...  chunk records: QC3ChunkHeader (76 bytes), then the chunk's u32 data words
//
// A chunk is 1024 x 1024 colour indices whose rows are stored in ten-bit reversed order, coded
// as one progressive level stream (chunk_level_decoder.h): level i (0..9) is the first
// 0x100000 >> i decoded bytes, and decodes from the first N[i] data words.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "charts/chunk_level_decoder.h"

class CHttpConnection;
class CLockedFile;

inline constexpr uint32_t kQc3Magic = 0x484DF282;
inline constexpr int kQc3Levels = 10;
inline constexpr int kQc3NoLevel = 10;  // "no level": a chunk shown with the empty pattern
inline constexpr uint32_t kQc3MaxChunkWords = 0xFFFFF;  // N[0] of a valid chunk header
inline constexpr int64_t kQc3AbsentChunk = 0;
inline constexpr int64_t kQc3BlankChunk = -1;
inline constexpr int kQc3ChunkTiles = 16;  // tiles across and down a chunk
// A blank chunk and the fills of missing chunks use these colour indices.
inline constexpr uint8_t kQc3BlankColour = 1;
inline constexpr uint8_t kQc3EdgeColour = 0;
// A server index entry at or above this is no address the server's file can have.
inline constexpr uint64_t kQc3ServerAddressLimit = uint64_t{1} << 40;

struct QC3StoreHeader {
  uint32_t magic = 0;  // kQc3Magic; 0 while no header is loaded
  uint32_t reserved0 = 0;  // the reserved fields are copied from the server, never interpreted
  int32_t reserved1 = 0;
  int32_t across = 0;  // chunk columns
  int32_t down = 0;    // chunk rows
  uint8_t reserved2[20] = {};

  // Not negative, and the index ends within the first 4 GiB.
  bool HasValidGrid() const;
  bool Contains(int row, int col) const {
    return row >= 0 && col >= 0 && row < down && col < across;
  }
  // Where the index entry of chunk (row, col) lies (the chunk must be on the grid).
  uint64_t IndexAddress(int row, int col) const;
  uint64_t IndexEnd() const;
};
static_assert(sizeof(QC3StoreHeader) == 40);

struct QC3ChunkHeader {
  uint32_t words[kQc3Levels] = {};  // N[i]: data words that level i needs; N[0] the whole chunk
  uint32_t present = 0;             // W: data words held by this copy (ignored on the server)
  uint8_t check[kQc3Levels] = {};   // C[i]: check byte of level i
  uint8_t reserved[22] = {};        // copied from the server, never interpreted
};
static_assert(sizeof(QC3ChunkHeader) == 76);

inline constexpr uint32_t kQc3StoreHeaderSize = sizeof(QC3StoreHeader);
inline constexpr uint32_t kQc3ChunkHeaderSize = sizeof(QC3ChunkHeader);

// N[0] <= kQc3MaxChunkWords and the level sizes never grow from one level to the next.
bool IsValidChunkHeader(const QC3ChunkHeader& header);
// The check byte of a level's words: the low byte of S + (S >> 8) + (S >> 16) + (S >> 24), S
// the wrapping sum of the words.
uint8_t ChunkLevelCheck(std::span<const uint32_t> words);
// An index entry that can be a chunk record's address (neither absent, blank nor a part beyond
// the store's last).
bool IsChunkAddress(int64_t entry);

// Bytes of a chunk decoded at a level: 0x100000 >> level.
constexpr size_t ChunkLevelBytes(int level) { return kChunkPixels >> level; }
// Colour 1 over the level's bytes, with a line of colour 0 along the chunk's top and left edges:
// how a chunk of a store without data shows.
void FillEmptyChunk(std::span<uint8_t, kChunkPixels> buffer, int level);
// Repeats every decoded image row of level `decoded` into the rows below it that level `wanted`
// (finer) adds: in bit-reversed row order each step copies the level's bytes onto the next as
// many.
void ExpandChunkLevel(std::span<uint8_t, kChunkPixels> buffer, int decoded, int wanted);

// What the first 40 bytes of a store say.
enum class Qc3StoreState {
  kLoaded,  // the magic, a possible grid and the whole index are there
  kEmpty,   // fewer than 40 bytes: a new store whose header is still to come
  kBad,     // another magic, an impossible grid, or an index cut short
};
Qc3StoreState LoadStoreHeader(CLockedFile& file, QC3StoreHeader& header);

// Store access through the file set. Each reports a failed or short read or write as false.
bool ReadStoreHeader(CLockedFile& file, QC3StoreHeader& header);
bool ReadChunkHeader(CLockedFile& file, uint64_t address, QC3ChunkHeader& header);
// 0 when the entry can't be read (a chunk off the grid included).
int64_t ReadChunkIndexEntry(CLockedFile& file, const QC3StoreHeader& header, int row, int col);
bool WriteChunkIndexEntry(CLockedFile& file, const QC3StoreHeader& header, int row, int col,
                          int64_t entry);
// The header at address 0 and an index of zeros after it.
bool WriteStoreHeaderAndIndex(CLockedFile& file, const QC3StoreHeader& header);
// Reads the first `count` data words of the record at `address` into `workspace` (grown as
// needed; its size is then at least count).
bool ReadChunkWords(CLockedFile& file, uint64_t address, uint32_t count,
                    std::vector<uint32_t>& workspace);
// Reads and decodes level `level` of the record at `address` (header `chunk`, already read and
// valid) into the buffer's first ChunkLevelBytes(level) bytes.
bool DecodeStoredLevel(CLockedFile& file, uint64_t address, const QC3ChunkHeader& chunk,
                       int level, std::vector<uint32_t>& workspace,
                       std::span<uint8_t, kChunkPixels> buffer);
// The first N[level] words of the record pass the level's check.
bool StoredLevelIntact(CLockedFile& file, uint64_t address, const QC3ChunkHeader& chunk, int level,
                       std::vector<uint32_t>& workspace);

// Brings level `level` of chunk (row, col) into the store from the server's record at
// `server_entry` (a checked address) and verifies it. `local_entry` is the chunk's record with
// its header in `chunk`, or 0 when the chunk is not stored yet: then one request brings the
// header and up to first_words words, and a record with room for all N[0] words is reserved at
// the end of the store; missing words up to N[level] come with one more request. A level that
// fails its check makes the chunk absent again. True when the level is stored and intact; a
// failed write to the store also sets write_failed.
bool FetchChunkLevel(CLockedFile& file, CHttpConnection& connection, const std::string& server_path,
                     const QC3StoreHeader& header, int row, int col, int64_t server_entry,
                     int64_t local_entry, QC3ChunkHeader& chunk, int level, uint32_t first_words,
                     bool& write_failed);
