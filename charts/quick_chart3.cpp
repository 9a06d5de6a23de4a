#include "charts/quick_chart3.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "charts/polygon_downloader.h"
#include "charts/qc3_tile_store.h"
#include "charts/route_downloader.h"
#include "core/http_connection.h"
#include "core/path_utils.h"
#include "core/url_utils.h"

namespace {

constexpr int kNoLevelYet = 999;
constexpr int64_t kNoKey = -1;
// NextChunkRun's corners lie this far inside the run.
constexpr double kRunInset = 50;
constexpr double kMetresPerNauticalMile = 1852;
// The redirect file names a host in its first bytes.
constexpr int32_t kRedirectBytes = 199;
constexpr char kRedirectSuffix[] = ".slredir.txt";
constexpr std::string_view kUnsafeAddressCharacters = " \t\n`<>{}()#%;,[]:?\\*@^|!$&~";

// A host may carry a port as ":digits"; the rest of it is the host name.
std::string_view HostName(std::string_view host) {
  const size_t colon = host.find(':');
  if (colon == std::string_view::npos) return host;
  const std::string_view port = host.substr(colon + 1);
  const bool numeric =
      !port.empty() && port.size() <= 5 &&
      std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
  return numeric ? host.substr(0, colon) : host;
}

// Host and path go into the request unescaped: any character that would need escaping makes
// them unusable.
bool IsSafeAddressPart(std::string_view text) {
  return text.find_first_of(kUnsafeAddressCharacters) == std::string_view::npos;
}

bool IsRedirectHostName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
  });
}

// The host a redirect file's bytes name, "" for none: the text up to its first zero byte,
// trimmed of spaces, tabs and line ends.
std::string RedirectHost(std::string_view bytes) {
  std::string_view text = bytes.substr(0, bytes.find('\0'));
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
  return IsRedirectHostName(HostName(text)) ? std::string(text) : std::string();
}

// The maker's chunk server of the setting: "scheme://host" (a bare host is reached over HTTPS).
void MakerServer(const std::string& address, bool& secure, std::string& host) {
  if (address.find("://") == std::string::npos) {
    host = address;
    secure = true;
    return;
  }
  std::string scheme;
  std::string path;
  SplitUrl(address + "/", scheme, host, path);
  secure = scheme == "https";
}

}  // namespace

struct CQuickChart3::CacheNode {
  std::shared_mutex lock;
  // Changed under the cache mutex and the write lock: read under either.
  int64_t key = kNoKey;
  // Under the lock.
  int requested = kNoLevelYet;
  int decoded = kNoLevelYet;
  std::unique_ptr<uint8_t[]> pixels = std::make_unique<uint8_t[]>(kChunkPixels);
};

CQuickChart3::CQuickChart3() {
  chunk_server_.Init(kChunkServerSetting);
  if (chunk_server_.value.empty()) chunk_server_.value = kDefaultChunkServer;
}

CQuickChart3::~CQuickChart3() { Close(); }

void CQuickChart3::Close() {
  FlushChunkCache();
  store_.reset();
  {
    std::lock_guard lock(source_mutex_);
    source_resolved_ = false;
    source_secure_ = false;
    source_host_.clear();
    source_path_.clear();
  }
  CQuickChart::Close();
}

bool CQuickChart3::OpenChunkStore() {
  if (!IsOpened()) return false;
  store_ = std::make_unique<CQC3TileStore>(CQC3TileStore::StorePathFor(path()));
  if (!store_->IsOpen()) {
    store_.reset();
    return false;
  }
  return true;
}

bool CQuickChart3::HasChunkStore() const {
  return store_ && store_->mode() == CQC3TileStore::OpenMode::kReadWrite;
}

std::shared_ptr<CQuickChart3::CacheNode> CQuickChart3::FindOrTake(int64_t key) {
  std::lock_guard lock(cache_mutex_);
  auto found = std::find_if(cache_.begin(), cache_.end(),
                            [key](const auto& node) { return node->key == key; });
  if (found != cache_.end()) {
    cache_.splice(cache_.begin(), cache_, found);
    return cache_.front();
  }
  if (cache_.size() < kCacheNodes) {
    auto node = std::make_shared<CacheNode>();
    node->key = key;
    cache_.push_front(std::move(node));
    return cache_.front();
  }
  std::shared_ptr<CacheNode> node = cache_.back();
  {
    std::unique_lock write(node->lock);
    node->key = key;
    node->requested = kNoLevelYet;
    node->decoded = kNoLevelYet;
  }
  cache_.splice(cache_.begin(), cache_, std::prev(cache_.end()));
  return node;
}

CQuickChart3::LockedNode CQuickChart3::LookUp(int chunk_row, int chunk_col, int shift,
                                              QuickChartTileContext& context) {
  const int64_t key = ChunkKey(chunk_row, chunk_col);
  for (;;) {
    std::shared_ptr<CacheNode> node = FindOrTake(key);
    {
      std::shared_lock read(node->lock);
      if (node->key == key && shift >= node->requested)
        return {std::move(node), std::move(read), {}};
    }
    std::unique_lock write(node->lock);
    // Given to another chunk, or flushed, between the lookup and the lock: look again.
    if (node->key != key) continue;
    if (shift < node->requested) {
      node->requested = shift;
      node->decoded = shift;
      const std::span<uint8_t, kChunkPixels> pixels(node->pixels.get(), kChunkPixels);
      if (!store_->DecodeChunk(chunk_row, chunk_col, shift, pixels, context.workspace,
                               node->decoded)) {
        std::memset(pixels.data(), 0, kChunkPixels);
      }
    }
    return {std::move(node), {}, std::move(write)};
  }
}

int CQuickChart3::GetTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer,
                          QuickChartTileContext& context) {
  if (!store_) return 1;
  shift = std::clamp(shift, 0, kMaxShift);
  const int rows = kTileSide >> shift;
  if (col < 0 || row < 0 || col >= width_in_tiles() || row >= height_in_tiles()) {
    std::memset(buffer.data(), 1, size_t(rows) * kTileSide);
    return 0;
  }
  const int chunk_row = row / kQc3ChunkTiles;
  const int chunk_col = col / kQc3ChunkTiles;
  int decoded;
  {
    const LockedNode locked = LookUp(chunk_row, chunk_col, shift, context);
    decoded = locked.node->decoded;
    // Stored row t of the tile is stored chunk row 16 t + R10(64 (row mod 16)).
    const uint8_t* first = locked.node->pixels.get() +
                           size_t(ReverseBits10((row % kQc3ChunkTiles) * kTileSide)) * kChunkSide +
                           size_t(col % kQc3ChunkTiles) * kTileSide;
    for (int r = 0; r < rows; ++r) {
      std::memcpy(buffer.data() + size_t(r) * kTileSide,
                  first + size_t(r) * kQc3ChunkTiles * kChunkSide, kTileSide);
    }
  }
  // Told after the node is unlocked, so that the callback may release the chunk. A node decoded
  // for a finer request serves a coarser one without a gap.
  if (decoded > shift) {
    context.largest_gap = std::max(context.largest_gap, decoded - shift);
    if (context.callback) {
      context.callback(context.user, *store_, chunk_row, chunk_col, decoded, shift);
    }
  }
  return 0;
}

void CQuickChart3::FlushChunkCache() {
  std::lock_guard lock(cache_mutex_);
  for (const auto& node : cache_) {
    std::unique_lock write(node->lock);
    node->key = kNoKey;
  }
  cache_.clear();
}

void CQuickChart3::ReleaseChunk(int64_t key) {
  std::lock_guard lock(cache_mutex_);
  for (const auto& node : cache_) {
    if (node->key != key) continue;
    std::unique_lock write(node->lock);
    node->key = kNoKey;
  }
}

bool CQuickChart3::IsChunkComplete(int64_t number) {
  const int across = ChunksAcross();
  return store_->IsChunkComplete(int(number / across), int(number % across));
}

bool CQuickChart3::NextChunkRun(int64_t& cursor, std::array<GeoPoint, 4>& quad, bool& available,
                                bool& downloaded) {
  const int64_t across = ChunksAcross();
  const int64_t count = across * ChunksDown();
  for (int64_t n = std::max<int64_t>(cursor + 1, 0); store_ && n < count; ++n) {
    if (!IsChunkComplete(n)) continue;
    int64_t last = n;
    while ((last + 1) % across != 0 && IsChunkComplete(last + 1)) ++last;
    const double top = double(n / across) * kChunkSide;
    const double left = double(n % across) * kChunkSide;
    const double right = double(last % across) * kChunkSide + kChunkSide - kRunInset;
    const double bottom = top + kChunkSide - kRunInset;
    quad = {PixelToLatLon(left + kRunInset, top + kRunInset), PixelToLatLon(right, top + kRunInset),
            PixelToLatLon(right, bottom), PixelToLatLon(left + kRunInset, bottom)};
    available = true;
    downloaded = true;
    cursor = last;
    return true;
  }
  cursor = -1;
  return false;
}

bool CQuickChart3::ProbeChunkServer(bool secure, const std::string& host, const std::string& path) {
  CHttpConnection connection(host, secure);
  if (lookup_abort_) connection.SetAbortCallback(lookup_abort_, lookup_abort_user_);
  uint32_t magic = 0;
  return connection.GetRange(path, 0, sizeof magic, &magic) == int(sizeof magic) &&
         magic == kQc3Magic;
}

std::string CQuickChart3::ReadRedirect(const std::string& path) {
  bool secure = true;
  std::string host;
  MakerServer(chunk_server_.value, secure, host);
  CHttpConnection connection(host, secure);
  if (lookup_abort_) connection.SetAbortCallback(lookup_abort_, lookup_abort_user_);
  char bytes[kRedirectBytes];
  const int got = connection.GetRange(path + kRedirectSuffix, 0, kRedirectBytes, bytes);
  if (got < 1) return {};
  return RedirectHost(std::string_view(bytes, size_t(got)));
}

void CQuickChart3::ResolveChunkServer(bool& secure, std::string& host, std::string& path) {
  std::lock_guard lock(source_mutex_);
  if (!source_resolved_) {
    source_resolved_ = true;
    Resolve();
    // The store fetches from the same path.
    if (store_ && !source_host_.empty()) store_->SetServerPath(source_path_);
  }
  secure = source_secure_;
  host = source_host_;
  path = source_path_;
}

void CQuickChart3::Resolve() {
  std::string scheme;
  std::string host;
  std::string path;
  SplitUrl(ReadText(online_source().address), scheme, host, path);
  bool secure = scheme == "https";
  const bool default_host = host.empty();
  if (default_host) MakerServer(chunk_server_.value, secure, host);
  if (path.empty()) path = "/mapchunks/" + GetPathTitle(this->path()) + ".qc3";
  const auto give_up = [this] {
    source_secure_ = false;
    source_host_.clear();
    source_path_.clear();
  };
  if (!IsSafeAddressPart(HostName(host)) || !IsSafeAddressPart(path)) return give_up();
  if (default_host || !ProbeChunkServer(secure, host, path)) {
    // The maker's redirect file names the host that serves the chart, over plain HTTP.
    host = ReadRedirect(path);
    secure = false;
    if (host.empty() || !ProbeChunkServer(secure, host, path)) return give_up();
  }
  source_secure_ = secure;
  source_host_ = host;
  source_path_ = path;
}

int64_t CQuickChart3::GetChunkFileSize() {
  bool secure = false;
  std::string host;
  std::string path;
  ResolveChunkServer(secure, host, path);
  if (host.empty()) return 0;
  CHttpConnection connection(host, secure);
  if (lookup_abort_) connection.SetAbortCallback(lookup_abort_, lookup_abort_user_);
  int64_t length = -1;
  const int status = connection.Head(path, length);
  return status >= 200 && status < 300 ? length : -1;
}

bool CQuickChart3::DownloadPolygon(std::span<const PlanePoint> polygon, ChunkDownloadCounts& counts,
                                   ChunkDownloadAbort abort, void* user) {
  if (!HasChunkStore()) return false;
  bool secure = false;
  std::string host;
  std::string path;
  ResolveChunkServer(secure, host, path);
  if (host.empty()) return false;
  CPolygonDownloader downloader(*store_, header(), secure, host, counts, abort, user, polygon);
  return downloader.Download();
}

bool CQuickChart3::DownloadRoute(std::span<const PlanePoint> route, double distance_m,
                                 ChunkDownloadCounts& counts, ChunkDownloadAbort abort,
                                 void* user) {
  if (!HasChunkStore()) return false;
  bool secure = false;
  std::string host;
  std::string path;
  ResolveChunkServer(secure, host, path);
  if (host.empty()) return false;
  const double scale = ScaleAt(width() / 2.0, height() / 2.0);  // nautical miles per pixel
  if (!(scale > 0) || !std::isfinite(scale) || !(distance_m >= 0)) return false;
  const double radius_px = distance_m / kMetresPerNauticalMile / scale;
  CRouteDownloader downloader(*store_, header(), secure, host, counts, abort, user, route,
                              radius_px);
  return downloader.Download();
}

bool CQuickChart3::DownloadWholeChart(ChunkDownloadCounts& counts, ChunkDownloadAbort abort,
                                      void* user) {
  if (header().flags & kQctFlagOnline) return false;
  std::vector<GeoPoint> outline;
  GetOutline(outline);
  std::vector<PlanePoint> pixels;
  for (const GeoPoint& p : outline) pixels.push_back(LatLonToPixel(p.lat, p.lon));
  return DownloadPolygon(pixels, counts, abort, user);
}
