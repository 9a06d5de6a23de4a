#pragma once
// The newer reader of chunk-store charts: the chart file holds the header, texts and
// georeference; the pixels come from the chunk store beside it (CQC3TileStore), decoded a chunk
// at a time into a cache of kCacheNodes chunks. It also downloads the chunks of an area from the
// chart's chunk server (CQC3Downloader).
//
// GetTile may run on several threads at once, each with its own context: the cache's list is
// guarded by its mutex, each node's pixels by the node's read-write lock (decoded under the
// write lock, copied under the read lock). A node handed out keeps its memory until its last
// user is done, even when the cache is flushed meanwhile.
#include <list>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "charts/qc3_store_format.h"
#include "charts/quick_chart.h"
#include "core/persistent_value.h"

class CQuickChart3 : public CQuickChart {
 public:
  static constexpr size_t kCacheNodes = 16;
  // The chunk server used when the chart names none, an address kept under this setting. It
  // serves no chunks itself: its redirect file names the host that does.
  static constexpr char kChunkServerSetting[] = "qc3_chunk_server";
  static constexpr char kDefaultChunkServer[] = "https://mapchunks.vardune.com";

  CQuickChart3();
  ~CQuickChart3() override;

  // Also closes the store, empties the cache and forgets the chunk server.
  void Close() override;

  void FlushChunkCache() override;
  void ReleaseChunk(int64_t key) override;
  bool HasChunkStore() const override;
  bool DownloadPolygon(std::span<const PlanePoint> polygon, ChunkDownloadCounts& counts,
                       ChunkDownloadAbort abort, void* user) override;
  bool DownloadRoute(std::span<const PlanePoint> route, double distance_m,
                     ChunkDownloadCounts& counts, ChunkDownloadAbort abort, void* user) override;
  // The chunks inside the chart's outline. Refused (false, counts untouched) for an online
  // chart, whose chunks are fetched only as they are viewed.
  bool DownloadWholeChart(ChunkDownloadCounts& counts, ChunkDownloadAbort abort, void* user);
  bool NextChunkRun(int64_t& cursor, std::array<GeoPoint, 4>& quad, bool& available,
                    bool& downloaded) override;
  // A chunk stored only at coarser levels than asked comes out doubled up to the asked size,
  // and the context hears of the gap; a chunk the store lacks shows the store's empty pattern.
  // 1 when the chart has no store.
  int GetTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer,
              QuickChartTileContext& context) override;
  // Opens the store beside the chart file (".QC3" when that exists, else ".qc3"), creating an
  // empty one when there is none; false when it can't be opened.
  bool OpenChunkStore() override;

  // The chart's chunk server, found on the first call and kept while the chart is open: the
  // address the chart names, else the host the default server's redirect file names, either
  // only when it serves the chart's store. An empty host: no chunk server.
  void ResolveChunkServer(bool& secure, std::string& host, std::string& path);
  void GetChunkServer(bool& secure, std::string& host) {
    std::string path;
    ResolveChunkServer(secure, host, path);
  }
  // The size in bytes of the chart's chunk file on its server; 0 without a server, -1 when the
  // server gives no size.
  int64_t GetChunkFileSize();
  // Asked during the transfers that find the chunk server and the file size, as the downloads'
  // abort test is during theirs: false cuts them short (the chart then has no chunk server).
  void SetLookupAbort(ChunkDownloadAbort abort, void* user) {
    lookup_abort_ = abort;
    lookup_abort_user_ = user;
  }

  // Null when the chart has no store.
  CQC3TileStore* store() const { return store_.get(); }

 protected:
  bool OpensVersion(uint32_t version) const override {
    return (version >> 24) == 0x01 || (version >> 24) == 0x20;
  }

 private:
  struct CacheNode;
  // A node holding the chunk's pixels at the shift or finer, locked for the caller: for
  // reading, or still for writing right after its decode.
  struct LockedNode {
    std::shared_ptr<CacheNode> node;
    std::shared_lock<std::shared_mutex> read;
    std::unique_lock<std::shared_mutex> write;
  };
  LockedNode LookUp(int chunk_row, int chunk_col, int shift, QuickChartTileContext& context);
  // The node of the key, moved to the front; a new or reused one when there is none.
  std::shared_ptr<CacheNode> FindOrTake(int64_t key);
  int ChunksAcross() const { return (width_in_tiles() + kQc3ChunkTiles - 1) / kQc3ChunkTiles; }
  int ChunksDown() const { return (height_in_tiles() + kQc3ChunkTiles - 1) / kQc3ChunkTiles; }
  bool IsChunkComplete(int64_t number);
  bool ProbeChunkServer(bool secure, const std::string& host, const std::string& path);
  // The host the maker's redirect file names for the path (empty: none).
  std::string ReadRedirect(const std::string& path);
  void Resolve();

  std::unique_ptr<CQC3TileStore> store_;
  std::mutex cache_mutex_;
  std::list<std::shared_ptr<CacheNode>> cache_;  // most recently used first

  std::mutex source_mutex_;  // the chunk source below
  bool source_resolved_ = false;
  bool source_secure_ = false;
  std::string source_host_;
  std::string source_path_;
  PersistentString chunk_server_;
  ChunkDownloadAbort lookup_abort_ = nullptr;
  void* lookup_abort_user_ = nullptr;
};
