#pragma once
// The local chunk store of a chunk-store chart (layout in qc3_store_format.h), filled from the
// chart's chunk server by range requests and read back a level at a time.
//
// Decoding and fetching may run on several threads at once (a view's decode threads and the
// download workers), each with its own connection and workspace. Two locks: the file set's own,
// taken by every file access, and the index mutex, held around the header fetch and the
// server-index lookup (with its request); always in that order. Two fetches of the same chunk
// are not kept apart: both reserve space, and the later index entry wins.
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "charts/qc3_store_format.h"
#include "core/locked_file.h"

class CHttpConnection;

class CQC3TileStore {
 public:
  enum class OpenMode { kClosed, kReadOnly, kReadWrite };
  // Server index entries come in blocks of this many, and at most about kMaxCachedIndexBlocks
  // blocks are kept.
  static constexpr int kIndexBlockEntries = 16;
  static constexpr size_t kMaxCachedIndexBlocks = 1000;
  // The first request for a chunk brings its header and up to this many words.
  static constexpr uint32_t kFirstFetchWords = 1000;
  static constexpr int kFetchAttempts = 5;

  // Opens the store at `path` (a folder of part files, or one plain file) read-write, else
  // read-only, and loads its header. A path that is missing is created as a folder, with its
  // header not loaded until FetchHeader. A header with another magic or an impossible grid, or
  // an index that is not all present, closes the store.
  explicit CQC3TileStore(const std::string& path);
  CQC3TileStore(const CQC3TileStore&) = delete;
  CQC3TileStore& operator=(const CQC3TileStore&) = delete;

  // Where a chart's store lies: its path with the extension replaced by ".QC3" when such a
  // path exists, else by ".qc3".
  static std::string StorePathFor(const std::string& chart_path);

  OpenMode mode() const { return mode_.load(); }
  bool IsOpen() const { return mode() != OpenMode::kClosed; }
  bool IsHeaderLoaded() const { return header_loaded_.load(std::memory_order_acquire); }
  // The loaded header (magic 0 while none is loaded).
  QC3StoreHeader header() const { return IsHeaderLoaded() ? header_ : QC3StoreHeader(); }
  const std::string& path() const { return path_; }

  // The path of the store's file on the chunk server (set once the server is known, before
  // any fetch).
  void SetServerPath(std::string server_path) { server_path_ = std::move(server_path); }
  const std::string& server_path() const { return server_path_; }
  // How long FetchChunkRetry waits after a failed attempt (tests shorten it).
  void SetRetryPause(std::chrono::milliseconds pause) { retry_pause_ = pause; }

  // The local index entry of a chunk; 0 when it can't be read.
  int64_t ReadIndexEntry(int row, int col);
  // Decodes the chunk at `level`, or at the finest coarser level whose words are all present
  // with its rows repeated up to level's size, into the first ChunkLevelBytes(level) bytes of
  // `buffer`; decoded_level tells which (kQc3NoLevel: the empty pattern of a store without the
  // chunk). A blank chunk gives colour 1 at `level`. False for a chunk off the grid, without
  // any level present, or whose data can't be read or decoded; a chunk whose stored words
  // can't be read or decoded is marked absent, so that it is fetched again.
  bool DecodeChunk(int row, int col, int level, std::span<uint8_t, kChunkPixels> buffer,
                   std::vector<uint32_t>& workspace, int& decoded_level);

  // Brings the 40-byte header from the server and writes it with an empty index.
  bool FetchHeader(CHttpConnection& connection);
  // Writes the header and an empty index into a writable store whose header is not loaded yet
  // (a loaded store keeps its index); a failed write closes the store.
  bool WriteHeader(const QC3StoreHeader& header);
  // Makes sure at least level `level` of the chunk is stored and intact, fetching what is
  // missing over the connection (already set to the chunk server). Refused by a read-only store
  // and after a failed write to the store.
  bool FetchChunk(CHttpConnection& connection, int row, int col, int level);
  // The name the views' download workers use.
  bool DownloadLevel(CHttpConnection& connection, int row, int col, int level) {
    return FetchChunk(connection, row, col, level);
  }
  // FetchChunk of level 0, up to kFetchAttempts times; after each failure keep_going (the
  // question the connection's abort callback answers; null: go on) is asked (false: stop at
  // once), then a pause.
  bool FetchChunkRetry(CHttpConnection& connection, int row, int col,
                       const std::function<bool()>& keep_going);
  // The chunk is stored with all its words (blank and absent chunks are not).
  bool IsChunkComplete(int row, int col);

 private:
  // The server's index entry of a chunk; 0 when unknown. Called with the index mutex held.
  int64_t LookUpServerEntry(CHttpConnection& connection, int row, int col);
  bool FetchHeaderLocked(CHttpConnection& connection);
  bool WriteHeaderLocked(const QC3StoreHeader& header);
  bool Written(bool ok);

  std::string server_path_;
  CLockedFile file_;
  std::string path_;
  std::atomic<OpenMode> mode_{OpenMode::kClosed};
  std::mutex index_mutex_;  // guards loading the header, and the index cache
  QC3StoreHeader header_;   // written once, before header_loaded_ is set
  std::atomic<bool> header_loaded_{false};
  std::map<int64_t, std::vector<int64_t>> index_cache_;  // server index blocks by number
  std::atomic<bool> write_failed_{false};
  std::chrono::milliseconds retry_pause_{1000};
};
