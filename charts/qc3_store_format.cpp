#include "charts/qc3_store_format.h"

#include <algorithm>
#include <cstring>

#include "core/http_connection.h"
#include "core/locked_file.h"

namespace {

constexpr uint64_t kFirstPartLimit = uint64_t{1} << 32;

}  // namespace

bool QC3StoreHeader::HasValidGrid() const {
  return across >= 0 && down >= 0 && IndexEnd() <= kFirstPartLimit;
}

uint64_t QC3StoreHeader::IndexAddress(int row, int col) const {
  return kQc3StoreHeaderSize + 8 * (uint64_t(row) * uint64_t(across) + uint64_t(col));
}

uint64_t QC3StoreHeader::IndexEnd() const {
  return kQc3StoreHeaderSize + 8 * uint64_t(uint32_t(across)) * uint64_t(uint32_t(down));
}

bool IsValidChunkHeader(const QC3ChunkHeader& header) {
  if (header.words[0] > kQc3MaxChunkWords) return false;
  for (int i = 1; i < kQc3Levels; ++i) {
    if (header.words[i - 1] < header.words[i]) return false;
  }
  return true;
}

uint8_t ChunkLevelCheck(std::span<const uint32_t> words) {
  uint32_t sum = 0;
  for (uint32_t w : words) sum += w;
  return uint8_t(sum + (sum >> 8) + (sum >> 16) + (sum >> 24));
}

bool IsChunkAddress(int64_t entry) {
  return entry > 0 && CLockedFile::PartOf(uint64_t(entry)) < uint32_t(CLockedFile::kMaxParts);
}

void FillEmptyChunk(std::span<uint8_t, kChunkPixels> buffer, int level) {
  std::memset(buffer.data(), kQc3BlankColour, ChunkLevelBytes(level));
  std::memset(buffer.data(), kQc3EdgeColour, kChunkSide);  // stored row 0 is image row 0
  for (int row = 0; row < (kChunkSide >> level); ++row) {
    buffer[size_t(row) * kChunkSide] = kQc3EdgeColour;
  }
}

void ExpandChunkLevel(std::span<uint8_t, kChunkPixels> buffer, int decoded, int wanted) {
  for (int j = decoded; j > wanted; --j) {
    std::memcpy(buffer.data() + ChunkLevelBytes(j), buffer.data(), ChunkLevelBytes(j));
  }
}

Qc3StoreState LoadStoreHeader(CLockedFile& file, QC3StoreHeader& header) {
  if (file.ReadAt(0, &header, sizeof header) != int64_t(sizeof header)) {
    header = QC3StoreHeader();
    return Qc3StoreState::kEmpty;
  }
  if (header.magic != kQc3Magic || !header.HasValidGrid()) return Qc3StoreState::kBad;
  // The last index entry must be there: a store cut short inside its index would put new
  // chunks over it.
  int64_t last_entry = 0;
  if (header.IndexEnd() > kQc3StoreHeaderSize &&
      file.ReadAt(header.IndexEnd() - 8, &last_entry, 8) != int64_t(sizeof last_entry)) {
    return Qc3StoreState::kBad;
  }
  return Qc3StoreState::kLoaded;
}

bool ReadChunkHeader(CLockedFile& file, uint64_t address, QC3ChunkHeader& header) {
  return file.ReadAt(address, &header, sizeof header) == int64_t(sizeof header);
}

int64_t ReadChunkIndexEntry(CLockedFile& file, const QC3StoreHeader& header, int row, int col) {
  int64_t entry = 0;
  if (!header.Contains(row, col) ||
      file.ReadAt(header.IndexAddress(row, col), &entry, sizeof entry) != int64_t(sizeof entry)) {
    return 0;
  }
  return entry;
}

bool WriteChunkIndexEntry(CLockedFile& file, const QC3StoreHeader& header, int row, int col,
                          int64_t entry) {
  return header.Contains(row, col) &&
         file.WriteAt(header.IndexAddress(row, col), &entry, sizeof entry);
}

bool WriteStoreHeaderAndIndex(CLockedFile& file, const QC3StoreHeader& header) {
  if (!header.HasValidGrid()) return false;
  const std::vector<int64_t> row(size_t(header.across), 0);
  if (!file.WriteAt(0, &header, sizeof header)) return false;
  for (int r = 0; r < header.down; ++r) {
    if (!row.empty() && !file.WriteAt(header.IndexAddress(r, 0), row.data(), row.size() * 8)) {
      return false;
    }
  }
  return true;
}

bool ReadChunkWords(CLockedFile& file, uint64_t address, uint32_t count,
                    std::vector<uint32_t>& workspace) {
  if (workspace.size() < count) workspace.resize((size_t(count) + 1023) / 1024 * 1024);
  const int64_t bytes = int64_t(count) * 4;
  return file.ReadAt(address + kQc3ChunkHeaderSize, workspace.data(), size_t(bytes)) == bytes;
}

bool DecodeStoredLevel(CLockedFile& file, uint64_t address, const QC3ChunkHeader& chunk,
                       int level, std::vector<uint32_t>& workspace,
                       std::span<uint8_t, kChunkPixels> buffer) {
  const uint32_t count = chunk.words[level];
  return ReadChunkWords(file, address, count, workspace) &&
         DecodeChunkLevel(std::span<const uint32_t>(workspace.data(), count),
                          buffer.first(ChunkLevelBytes(level)));
}

bool StoredLevelIntact(CLockedFile& file, uint64_t address, const QC3ChunkHeader& chunk, int level,
                       std::vector<uint32_t>& workspace) {
  const uint32_t count = chunk.words[level];
  return ReadChunkWords(file, address, count, workspace) &&
         ChunkLevelCheck(std::span<const uint32_t>(workspace.data(), count)) == chunk.check[level];
}

bool FetchChunkLevel(CLockedFile& file, CHttpConnection& connection, const std::string& server_path,
                     const QC3StoreHeader& header, int row, int col, int64_t server_entry,
                     int64_t local_entry, QC3ChunkHeader& chunk, int level, uint32_t first_words,
                     bool& write_failed) {
  const auto written = [&write_failed](bool ok) {
    if (!ok) write_failed = true;
    return ok;
  };
  if (local_entry == kQc3AbsentChunk) {
    std::vector<uint8_t> reply(kQc3ChunkHeaderSize + 4 * size_t(first_words));
    const int got = connection.GetRange(server_path, server_entry, int32_t(reply.size()),
                                        reply.data());
    if (got < int(kQc3ChunkHeaderSize)) return false;
    std::memcpy(&chunk, reply.data(), sizeof chunk);
    if (!IsValidChunkHeader(chunk)) return false;
    local_entry = file.Append(kQc3ChunkHeaderSize + 4 * chunk.words[0], 4);
    if (!written(local_entry >= 0)) return false;
    chunk.present = std::min(chunk.words[0], uint32_t(got - kQc3ChunkHeaderSize) / 4);
    if (!written(file.WriteTwoAt(uint64_t(local_entry), &chunk, sizeof chunk,
                                 reply.data() + kQc3ChunkHeaderSize,
                                 size_t(chunk.present) * 4)) ||
        !written(WriteChunkIndexEntry(file, header, row, col, local_entry))) {
      return false;
    }
  }
  const uint64_t address = uint64_t(local_entry);
  if (chunk.present < chunk.words[level]) {
    const uint64_t done = kQc3ChunkHeaderSize + 4 * uint64_t(chunk.present);
    std::vector<uint8_t> words(4 * size_t(chunk.words[level] - chunk.present));
    const int got = connection.GetRange(server_path, server_entry + int64_t(done),
                                        int32_t(words.size()), words.data());
    if (got < 0) return false;
    const uint32_t whole = uint32_t(got) / 4;
    if (!written(file.WriteAt(address + done, words.data(), size_t(whole) * 4))) return false;
    chunk.present += whole;
    if (!written(file.WriteAt(address, &chunk, sizeof chunk)) ||
        chunk.present < chunk.words[level]) {
      return false;
    }
  }
  std::vector<uint32_t> workspace;
  if (StoredLevelIntact(file, address, chunk, level, workspace)) return true;
  written(WriteChunkIndexEntry(file, header, row, col, kQc3AbsentChunk));
  return false;
}
