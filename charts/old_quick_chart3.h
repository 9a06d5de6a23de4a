#pragma once
// The reader of chunk-store charts: the chart file holds the header, texts and georeference;
// the pixels come from the chunk store beside it (the chart path with the extension ".qc3",
// layout in qc3_store_format.h), whose missing chunks are downloaded from the chart's chunk
// server when a view asks for them.
//
// The render thread reads tiles while the prefetch thread fetches chunks. The store file is
// opened read-only; a download (the prefetch thread's alone, as is the remote index cache)
// reopens it read-write for its duration under the store lock, which every store access takes.
// The decoded chunk buffer has a lock of its own.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "charts/old_quick_chart.h"
#include "charts/qc3_store_format.h"
#include "core/locked_file.h"
#include "core/persistent_value.h"

class CHttpConnection;

class COldQuickChart3 : public COldQuickChart {
 public:
  // The remote index is read in pages of this many bytes; the cache is emptied when it holds
  // more than kMaxCachedIndexPages.
  static constexpr int kIndexPageBytes = 256;
  static constexpr size_t kMaxCachedIndexPages = 5000;
  // The first request for a chunk brings its header and about this many words more than the
  // level needs, at most kMaxFirstFetchWords.
  static constexpr uint32_t kFetchHintWords = 1000;
  static constexpr uint32_t kMaxFirstFetchWords = 262144;
  // The chunk server used when the chart names none, kept under this setting; it serves no
  // chunks unless its redirect file names another host.
  static constexpr char kDefaultChunkServer[] = "mapchunks.vardune.com";

  COldQuickChart3();
  ~COldQuickChart3() override;

  bool NextChunkRun(int& cursor, std::array<GeoPoint, 4>& quad, bool& available,
                    bool& complete) override;
  // Opens the local store read-only; when there is none, creates it from the server's store
  // header with an empty index.
  bool OpenChunkStore() override;
  // 1 when the tile's chunk is missing and downloads are wanted (fetch it, then read again);
  // without downloads a missing chunk shows index 1 with index-0 marks at its corners.
  int ReadTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer) override;
  // Downloads chunk (chunk_col, chunk_row) up to level `shift`. 0 when it is stored (or lies
  // outside the store, with nothing to fetch); 1 when not, or no longer wanted.
  int FetchChunk(int chunk_col, int chunk_row, int shift,
                 const std::function<bool()>& still_wanted) override;
  // The centre of the middle chunk when stored, else of the first stored chunk, else of the
  // middle chunk all the same; unchanged when the store has no chunk columns.
  void GetCentrePixel(int& x, int& y) const override;
  // Level-0 bytes of the stored chunks touching the polygon (chart pixels).
  int64_t GetAreaDataSize(std::span<const PlanePoint> polygon) override;

  // Asked while the store is looked up on the server and created (during Open); false cuts the
  // look-up short and the chart does not open. Set it before Open, and clear it afterwards.
  void SetOpenKeepGoing(std::function<bool()> keep_going) override {
    open_keep_going_ = std::move(keep_going);
  }

  // `qcc_auto_download`: fetch missing chunks while a view shows them (default on).
  PersistentInt& auto_download() { return auto_download_; }
  bool download_switch() const { return download_switch_; }
  // The chunk server found by the first download (empty before, and for the default server).
  std::string chunk_host() const;
  std::string chunk_path() const;

 protected:
  bool ReadsChunkStore() const override { return true; }

 private:
  // Decodes chunk (row, col) at `level` into the buffer; `exact` tells whether the level itself
  // was there (else a coarser one stands in). False when it is not available: absent,
  // unreadable, or, with download_wanted, lacking the level's words.
  bool ReadChunk(int row, int col, int level, bool download_wanted, bool& exact);
  // Called with the store lock held.
  void SetUpDownloader();
  bool DownloadChunk(int row, int col, int level);
  int64_t LookUpServerEntry(int row, int col);
  bool CreateStoreFromServer(const std::string& store_path);
  bool ChunkStored(int64_t entry, QC3ChunkHeader& chunk) const;
  // The local index entry, values that can't be an address counting as blank.
  int64_t LocalEntry(int row, int col) const;

  mutable std::mutex store_mutex_;  // every store access, the downloader, the remote index
  mutable CLockedFile store_;
  std::string store_path_;
  QC3StoreHeader store_header_;
  std::atomic<bool> store_open_{false};
  std::unordered_map<int64_t, std::vector<uint8_t>> index_pages_;
  std::unique_ptr<CHttpConnection> connection_;
  bool downloader_pending_ = true;
  std::string host_;
  std::string server_path_;
  uint32_t fetch_hint_words_ = kFetchHintWords;
  std::function<bool()> open_keep_going_;

  std::mutex buffer_mutex_;  // the chunk buffer and what it holds
  std::vector<uint8_t> chunk_buffer_;
  std::vector<uint32_t> workspace_;
  int buffered_chunk_ = -1;
  int buffered_shift_ = -1;
  bool buffered_exact_ = false;  // not a coarser level standing in

  PersistentInt auto_download_;
  PersistentString default_server_;
};
