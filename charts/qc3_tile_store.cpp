#include "charts/qc3_tile_store.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

#include "core/http_connection.h"
#include "core/path_utils.h"
#include "platform/os/files.h"

namespace {

constexpr int64_t kIndexBlockBytes = CQC3TileStore::kIndexBlockEntries * 8;

}  // namespace

std::string CQC3TileStore::StorePathFor(const std::string& chart_path) {
  std::string upper = ChangeFileExtension(chart_path, ".QC3");
  return vd::os::FileExists(upper) ? upper : ChangeFileExtension(chart_path, ".qc3");
}

CQC3TileStore::CQC3TileStore(const std::string& path) : path_(path) {
  if (file_.Open(path, CLockedFile::kReadWrite)) {
    mode_ = OpenMode::kReadWrite;
  } else if (file_.Open(path, CLockedFile::kRead)) {
    mode_ = OpenMode::kReadOnly;
  } else {
    return;
  }
  QC3StoreHeader header;
  switch (LoadStoreHeader(file_, header)) {
    case Qc3StoreState::kEmpty:  // a new store: the header comes from the server
      return;
    case Qc3StoreState::kBad:
      file_.Close();
      mode_ = OpenMode::kClosed;
      return;
    case Qc3StoreState::kLoaded:
      header_ = header;
      header_loaded_.store(true, std::memory_order_release);
      return;
  }
}

int64_t CQC3TileStore::ReadIndexEntry(int row, int col) {
  if (!IsHeaderLoaded()) return 0;
  return ReadChunkIndexEntry(file_, header_, row, col);
}

bool CQC3TileStore::DecodeChunk(int row, int col, int level,
                                std::span<uint8_t, kChunkPixels> buffer,
                                std::vector<uint32_t>& workspace, int& decoded_level) {
  if (level < 0 || level >= kQc3Levels) return false;
  if (!IsHeaderLoaded()) {
    FillEmptyChunk(buffer, level);
    decoded_level = kQc3NoLevel;
    return true;
  }
  if (!header_.Contains(row, col)) return false;
  const int64_t entry = ReadIndexEntry(row, col);
  if (entry == kQc3AbsentChunk) {
    FillEmptyChunk(buffer, level);
    decoded_level = kQc3NoLevel;
    return true;
  }
  if (entry == kQc3BlankChunk) {
    std::memset(buffer.data(), kQc3BlankColour, ChunkLevelBytes(level));
    decoded_level = level;
    return true;
  }
  QC3ChunkHeader chunk;
  if (!IsChunkAddress(entry) || !ReadChunkHeader(file_, uint64_t(entry), chunk) ||
      !IsValidChunkHeader(chunk)) {
    return false;
  }
  int i = level;
  while (i < kQc3Levels && chunk.present < chunk.words[i]) ++i;
  decoded_level = i;
  if (i == kQc3Levels) return false;
  if (!DecodeStoredLevel(file_, uint64_t(entry), chunk, i, workspace, buffer)) {
    // The words said to be there are not, or are damaged: fetch the chunk again.
    if (mode() == OpenMode::kReadWrite) {
      Written(WriteChunkIndexEntry(file_, header_, row, col, kQc3AbsentChunk));
    }
    return false;
  }
  ExpandChunkLevel(buffer, i, level);
  return true;
}

bool CQC3TileStore::FetchHeader(CHttpConnection& connection) {
  std::lock_guard lock(index_mutex_);
  return FetchHeaderLocked(connection);
}

bool CQC3TileStore::FetchHeaderLocked(CHttpConnection& connection) {
  QC3StoreHeader header;
  if (connection.GetRange(server_path_, 0, sizeof header, &header) != int(sizeof header) ||
      header.magic != kQc3Magic) {
    return false;
  }
  return WriteHeaderLocked(header);
}

bool CQC3TileStore::WriteHeader(const QC3StoreHeader& header) {
  std::lock_guard lock(index_mutex_);
  return WriteHeaderLocked(header);
}

bool CQC3TileStore::WriteHeaderLocked(const QC3StoreHeader& header) {
  if (mode() != OpenMode::kReadWrite || IsHeaderLoaded() || !header.HasValidGrid()) return false;
  if (!file_.WriteAt(0, &header, sizeof header)) {
    file_.Close();
    mode_ = OpenMode::kClosed;
    return false;
  }
  if (!Written(WriteStoreHeaderAndIndex(file_, header))) return false;
  header_ = header;
  header_loaded_.store(true, std::memory_order_release);
  return true;
}

bool CQC3TileStore::Written(bool ok) {
  if (!ok) write_failed_ = true;
  return ok;
}

int64_t CQC3TileStore::LookUpServerEntry(CHttpConnection& connection, int row, int col) {
  // The entry's place in the server's file, counted in 8-byte words: the header takes 5.
  const int64_t word = int64_t(row) * header_.across + col + kQc3StoreHeaderSize / 8;
  const int64_t block_number = word / kIndexBlockEntries;
  const size_t slot = size_t(word % kIndexBlockEntries);
  auto found = index_cache_.find(block_number);
  if (found != index_cache_.end() && found->second[slot] != 0) return found->second[slot];
  if (found == index_cache_.end()) {
    if (index_cache_.size() > kMaxCachedIndexBlocks) index_cache_.clear();
    found = index_cache_.emplace(block_number, std::vector<int64_t>(kIndexBlockEntries, 0)).first;
  }
  std::array<int64_t, kIndexBlockEntries> block{};
  const int got =
      connection.GetRange(server_path_, block_number * kIndexBlockBytes, kIndexBlockBytes, &block);
  // A block at the end of a server file that holds no chunk data may come short; the entries
  // it covers are good.
  const size_t whole_entries = got > 0 ? size_t(got) / 8 : 0;
  std::copy_n(block.begin(), whole_entries, found->second.begin());
  return slot < whole_entries ? found->second[slot] : 0;
}

bool CQC3TileStore::FetchChunk(CHttpConnection& connection, int row, int col, int level) {
  if (write_failed_ || mode() != OpenMode::kReadWrite || level < 0 || level >= kQc3Levels) {
    return false;
  }
  {
    std::lock_guard lock(index_mutex_);
    if (!IsHeaderLoaded() && !FetchHeaderLocked(connection)) return false;
  }
  if (!header_.Contains(row, col)) return false;

  QC3ChunkHeader chunk;
  int64_t entry = ReadIndexEntry(row, col);
  if (entry == kQc3BlankChunk) return true;
  if (entry != kQc3AbsentChunk) {
    if (!IsChunkAddress(entry)) {
      entry = kQc3AbsentChunk;  // no place a record can have: fetch it anew
    } else if (!ReadChunkHeader(file_, uint64_t(entry), chunk)) {
      return false;
    } else if (!IsValidChunkHeader(chunk)) {
      entry = kQc3AbsentChunk;
    } else if (chunk.present >= chunk.words[level]) {
      return true;
    }
  }

  int64_t server_entry;
  {
    std::lock_guard lock(index_mutex_);
    server_entry = LookUpServerEntry(connection, row, col);
  }
  if (server_entry == kQc3AbsentChunk) return false;
  if (server_entry == kQc3BlankChunk) {
    return Written(WriteChunkIndexEntry(file_, header_, row, col, kQc3BlankChunk));
  }
  if (uint64_t(server_entry) >= kQc3ServerAddressLimit) return false;

  bool write_failed = false;
  const bool fetched = FetchChunkLevel(file_, connection, server_path_, header_, row, col,
                                       server_entry, entry, chunk, level, kFirstFetchWords,
                                       write_failed);
  Written(!write_failed);
  return fetched;
}

bool CQC3TileStore::FetchChunkRetry(CHttpConnection& connection, int row, int col,
                                    const std::function<bool()>& keep_going) {
  for (int attempt = 0; attempt < kFetchAttempts; ++attempt) {
    if (FetchChunk(connection, row, col, 0)) return true;
    if (keep_going && !keep_going()) return false;
    std::this_thread::sleep_for(retry_pause_);
  }
  return false;
}

bool CQC3TileStore::IsChunkComplete(int row, int col) {
  const int64_t entry = ReadIndexEntry(row, col);
  QC3ChunkHeader chunk;
  return IsChunkAddress(entry) && ReadChunkHeader(file_, uint64_t(entry), chunk) &&
         IsValidChunkHeader(chunk) && chunk.present == chunk.words[0];
}
