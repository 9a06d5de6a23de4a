#include "charts/old_quick_chart3.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "charts/tile_codec.h"
#include "core/http_connection.h"
#include "core/path_utils.h"
#include "platform/os/files.h"

namespace {

constexpr int kChunkTiles = kQc3ChunkTiles;
// Index entries beyond this are taken as blank chunks.
constexpr int64_t kLargestChunkAddress = 1'000'000'000'000;
// A store created from the server's header holds its index in memory first; larger grids are
// no chart's.
constexpr uint64_t kMaxCreatedIndexBytes = uint64_t{64} << 20;
// The redirect file names a host in its first bytes.
constexpr int kRedirectBytes = 256;
constexpr int kRedirectProbeBytes = 4;
// NextChunkRun's corners lie this far inside the run.
constexpr int kRunInset = 50;

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-';
}

// Asks the fetch's still-wanted question for the connection.
bool StillWanted(void* user_data) {
  const auto* still_wanted = static_cast<const std::function<bool()>*>(user_data);
  return !*still_wanted || (*still_wanted)();
}

int TruncateToInt(double v) {
  return v >= double(INT_MIN) && v < double(INT_MAX) + 1.0 ? int(v) : INT_MIN;
}

}  // namespace

COldQuickChart3::COldQuickChart3() {
  auto_download_.Init("qcc_auto_download", 1);
  default_server_.Init("qcc_default_server");
  if (default_server_.value.empty()) default_server_.value = kDefaultChunkServer;
}

COldQuickChart3::~COldQuickChart3() = default;

std::string COldQuickChart3::chunk_host() const {
  std::lock_guard lock(store_mutex_);
  return host_;
}

std::string COldQuickChart3::chunk_path() const {
  std::lock_guard lock(store_mutex_);
  return server_path_;
}

int64_t COldQuickChart3::LocalEntry(int row, int col) const {
  const int64_t entry = ReadChunkIndexEntry(store_, store_header_, row, col);
  return entry < kQc3BlankChunk || entry > kLargestChunkAddress ? kQc3BlankChunk : entry;
}

bool COldQuickChart3::ChunkStored(int64_t entry, QC3ChunkHeader& chunk) const {
  return IsChunkAddress(entry) && ReadChunkHeader(store_, uint64_t(entry), chunk) &&
         IsValidChunkHeader(chunk);
}

bool COldQuickChart3::OpenChunkStore() {
  store_path_ = ChangeFileExtension(GetFileName(), ".qc3");
  chunk_buffer_.resize(kChunkPixels + 256);
  bool opened = store_.Open(store_path_, CLockedFile::kRead) &&
                LoadStoreHeader(store_, store_header_) == Qc3StoreState::kLoaded;
  if (!opened) {
    std::lock_guard lock(store_mutex_);
    opened = CreateStoreFromServer(store_path_) && store_.Open(store_path_, CLockedFile::kRead) &&
             LoadStoreHeader(store_, store_header_) == Qc3StoreState::kLoaded;
  }
  if (!opened) store_.Close();
  store_open_ = opened;
  return opened;
}

bool COldQuickChart3::CreateStoreFromServer(const std::string& store_path) {
  SetUpDownloader();
  QC3StoreHeader header;
  connection_->SetAbortCallback(StillWanted, &open_keep_going_);
  const int got = connection_->GetRange(server_path_, 0, sizeof header, &header);
  connection_->SetAbortCallback(nullptr, nullptr);
  if (got != int(sizeof header) || !header.HasValidGrid() ||
      header.IndexEnd() > kMaxCreatedIndexBytes) {
    return false;
  }
  // Header and empty index in one piece: a store is never left half-made.
  std::string bytes(header.IndexEnd(), '\0');
  std::memcpy(bytes.data(), &header, sizeof header);
  return vd::os::SaveFileAtomically(store_path, bytes);
}

void COldQuickChart3::SetUpDownloader() {
  if (!downloader_pending_) return;
  downloader_pending_ = false;
  if (host_.empty()) {
    // "scheme://host/path": the host is what lies between "://" and the first '/' after it.
    std::string address = file().Text(online_source().address);
    const size_t colon = address.find(':');
    if (colon != std::string::npos) {
      const std::string rest = address.substr(std::min(address.size(), colon + 3));
      const size_t slash = rest.find('/');
      if (slash != std::string::npos) {
        host_ = rest.substr(0, slash);
        server_path_ = rest.substr(slash);
      }
    }
  }
  if (host_.empty()) host_ = default_server_.value;
  if (server_path_.empty()) server_path_ = "/mapchunks/" + GetPathTitle(GetFileName()) + ".qc3";

  // The server may send the chart's chunks to another host. Its redirect file is read into
  // memory (never written beside the chart); the named host is taken when it serves the store.
  char redirect[kRedirectBytes];
  const int got = DownloadRange(host_, server_path_ + ".redir.txt", 0, kRedirectBytes, redirect,
                                StillWanted, &open_keep_going_);
  if (got > 0) {
    const std::string text(redirect, size_t(got));
    const std::string candidate =
        text.substr(0, size_t(std::find_if_not(text.begin(), text.end(), IsHostCharacter) -
                               text.begin()));
    char probe[kRedirectProbeBytes];
    if (!candidate.empty() &&
        DownloadRange(candidate, server_path_, 0, kRedirectProbeBytes, probe, StillWanted,
                      &open_keep_going_) == kRedirectProbeBytes) {
      host_ = candidate;
    }
  }
  if (host_ == default_server_.value) host_.clear();
  connection_ = std::make_unique<CHttpConnection>(host_, false, 80);
}

bool COldQuickChart3::ReadChunk(int row, int col, int level, bool download_wanted, bool& exact) {
  if (!store_header_.Contains(row, col)) return false;
  const std::span<uint8_t, kChunkPixels> buffer(chunk_buffer_.data(), kChunkPixels);
  const int64_t entry = LocalEntry(row, col);
  if (entry == kQc3AbsentChunk) return false;
  if (entry == kQc3BlankChunk) {
    std::memset(buffer.data(), kQc3BlankColour, ChunkLevelBytes(level));
    exact = true;
    return true;
  }
  QC3ChunkHeader chunk;
  if (!ChunkStored(entry, chunk)) return false;
  int decode = level;
  if (chunk.present < chunk.words[level]) {
    if (download_wanted) return false;
    while (decode < kQc3Levels && chunk.present < chunk.words[decode]) ++decode;
    if (decode == kQc3Levels) return false;
  }
  if (!DecodeStoredLevel(store_, uint64_t(entry), chunk, decode, workspace_, buffer)) return false;
  exact = decode == level;
  ExpandChunkLevel(buffer, decode, level);
  return true;
}

int COldQuickChart3::ReadTile(int col, int row, int shift, std::span<uint8_t, kTilePixels> buffer) {
  shift = std::clamp(shift, 0, 6);
  const int rows = kTileSide >> shift;
  if (col < 0 || row < 0 || col >= header().width || row >= header().height || !store_open_) {
    std::memset(buffer.data(), 1, size_t(rows) * kTileSide);
    return 0;
  }
  const int chunk_col = col / kChunkTiles;
  const int chunk_row = row / kChunkTiles;
  const int across = (header().width + kChunkTiles - 1) / kChunkTiles;
  const int chunk = chunk_row * across + chunk_col;
  const int cx = col % kChunkTiles;
  const int ry = row % kChunkTiles;

  std::lock_guard lock(buffer_mutex_);
  const bool download_wanted = auto_download_.value != 0 && download_switch_;
  // A coarser level standing in is not used while the chunk could be fetched.
  if (chunk != buffered_chunk_ || shift < buffered_shift_ ||
      (download_wanted && !buffered_exact_)) {
    if (!ReadChunk(chunk_row, chunk_col, shift, download_wanted, buffered_exact_)) {
      buffered_chunk_ = -1;
      buffered_shift_ = -1;
      if (download_wanted) return 1;
      std::memset(buffer.data(), 1, size_t(rows) * kTileSide);
      if (ry == 0 && (cx == 0 || cx == kChunkTiles - 1)) {
        std::memset(buffer.data(), 0, kTileSide);
      }
      if (cx == 0 && (ry == 0 || ry == kChunkTiles - 1)) {
        for (int r = 0; r < rows; ++r) buffer[size_t(r) * kTileSide] = 0;
      }
      return 0;
    }
    buffered_chunk_ = chunk;
    buffered_shift_ = shift;
  }
  // Stored tile row t of the tile is stored chunk row 16 t + R10(64 ry).
  const uint8_t* first = chunk_buffer_.data() + size_t(ReverseBits10(ry * kTileSide)) * kChunkSide +
                         size_t(cx) * kTileSide;
  for (int r = 0; r < rows; ++r) {
    std::memcpy(buffer.data() + size_t(r) * kTileSide,
                first + size_t(r) * kChunkTiles * kChunkSide, kTileSide);
  }
  return 0;
}

int COldQuickChart3::FetchChunk(int chunk_col, int chunk_row, int shift,
                                const std::function<bool()>& still_wanted) {
  if (still_wanted && !still_wanted()) return 1;
  if (!store_open_) return 1;
  if (!store_header_.Contains(chunk_row, chunk_col)) return 0;
  const int level = std::clamp(shift, 0, kQc3Levels - 1);
  bool fetched;
  {
    std::lock_guard lock(store_mutex_);
    SetUpDownloader();
    connection_->SetAbortCallback(StillWanted, const_cast<std::function<bool()>*>(&still_wanted));
    // The store is writable only while a download runs.
    fetched = store_.Open(store_path_, CLockedFile::kReadWrite) &&
              DownloadChunk(chunk_row, chunk_col, level);
    if (!store_.Open(store_path_, CLockedFile::kRead)) store_open_ = false;
    connection_->SetAbortCallback(nullptr, nullptr);
  }
  if (fetched) {
    std::lock_guard lock(buffer_mutex_);
    const int across = (header().width + kChunkTiles - 1) / kChunkTiles;
    if (buffered_chunk_ == chunk_row * across + chunk_col) {
      buffered_chunk_ = -1;
      buffered_shift_ = -1;
    }
    return 0;
  }
  if (!still_wanted || still_wanted()) download_switch_ = false;
  return 1;
}

bool COldQuickChart3::DownloadChunk(int row, int col, int level) {
  QC3ChunkHeader chunk;
  int64_t entry = LocalEntry(row, col);
  if (entry == kQc3BlankChunk) return true;
  if (entry != kQc3AbsentChunk) {
    if (!ChunkStored(entry, chunk)) {
      entry = kQc3AbsentChunk;  // no usable record: fetched anew
    } else if (chunk.present >= chunk.words[level]) {
      return true;
    }
  }
  const int64_t server_entry = LookUpServerEntry(row, col);
  if (server_entry == kQc3AbsentChunk) return false;
  if (server_entry == kQc3BlankChunk) {
    return WriteChunkIndexEntry(store_, store_header_, row, col, kQc3BlankChunk);
  }
  if (uint64_t(server_entry) >= kQc3ServerAddressLimit) return false;
  const bool first_fetch = entry == kQc3AbsentChunk;
  bool write_failed = false;
  const bool fetched = FetchChunkLevel(store_, *connection_, server_path_, store_header_, row, col,
                                       server_entry, entry, chunk, level,
                                       std::min(fetch_hint_words_, kMaxFirstFetchWords),
                                       write_failed);
  // A chunk's first request is sized for the levels the view asked for last.
  if (first_fetch && chunk.words[level] <= kQc3MaxChunkWords) {
    fetch_hint_words_ = chunk.words[level] + kFetchHintWords;
  }
  return fetched;
}

int64_t COldQuickChart3::LookUpServerEntry(int row, int col) {
  const uint64_t offset = store_header_.IndexAddress(row, col);
  const int64_t page_number = int64_t(offset / kIndexPageBytes);
  const size_t in_page = size_t(offset % kIndexPageBytes);
  auto found = index_pages_.find(page_number);
  if (found == index_pages_.end()) {
    if (index_pages_.size() > kMaxCachedIndexPages) index_pages_.clear();
    std::vector<uint8_t> page(kIndexPageBytes, 0);
    const int got = connection_->GetRange(server_path_, page_number * kIndexPageBytes,
                                          kIndexPageBytes, page.data());
    // A failed request is asked again next time; a short page at the end of the server's
    // file still serves the entries it holds.
    if (got < int(in_page + 8)) return 0;
    found = index_pages_.emplace(page_number, std::move(page)).first;
  }
  int64_t entry;
  std::memcpy(&entry, found->second.data() + in_page, sizeof entry);
  return entry;
}

bool COldQuickChart3::NextChunkRun(int& cursor, std::array<GeoPoint, 4>& quad, bool& available,
                                   bool& complete) {
  const int64_t across = store_header_.across;
  const int64_t count = across * store_header_.down;
  const auto is_complete = [this, across](int64_t n) {
    QC3ChunkHeader chunk;
    return ChunkStored(LocalEntry(int(n / across), int(n % across)), chunk) &&
           chunk.present == chunk.words[0];
  };
  for (int64_t n = std::max(cursor + 1, 0); store_open_ && n < count; ++n) {
    if (!is_complete(n)) continue;
    int64_t last = n;
    while ((last + 1) % across != 0 && is_complete(last + 1)) ++last;
    const double top = double(n / across) * kChunkSide;
    const double left = double(n % across) * kChunkSide;
    const double right = double(last % across) * kChunkSide + kChunkSide - kRunInset;
    const double bottom = top + kChunkSide - kRunInset;
    const double corners[4][2] = {{left + kRunInset, top + kRunInset},
                                  {right, top + kRunInset},
                                  {right, bottom},
                                  {left + kRunInset, bottom}};
    for (int i = 0; i < 4; ++i) PixelToLatLon(corners[i][0], corners[i][1], quad[i].lat, quad[i].lon);
    available = true;
    complete = true;
    cursor = int(last);
    return true;
  }
  cursor = -1;
  return false;
}

void COldQuickChart3::GetCentrePixel(int& x, int& y) const {
  const int across = store_header_.across;
  const int down = store_header_.down;
  if (!store_open_ || across <= 0) return;
  int col = across / 2;
  int row = down / 2;
  if (!IsChunkAddress(LocalEntry(row, col))) {
    for (int64_t n = 0; n < int64_t(across) * down; ++n) {
      if (IsChunkAddress(LocalEntry(int(n / across), int(n % across)))) {
        row = int(n / across);
        col = int(n % across);
        break;
      }
    }
  }
  x = col * kChunkSide + kChunkSide / 2;
  y = row * kChunkSide + kChunkSide / 2;
}

int64_t COldQuickChart3::GetAreaDataSize(std::span<const PlanePoint> polygon) {
  if (polygon.empty() || !store_open_) return 0;
  int min_x = INT_MAX, min_y = INT_MAX, max_x = INT_MIN, max_y = INT_MIN;
  for (const PlanePoint& p : polygon) {
    min_x = std::min(min_x, TruncateToInt(p.x));
    max_x = std::max(max_x, TruncateToInt(p.x));
    min_y = std::min(min_y, TruncateToInt(p.y));
    max_y = std::max(max_y, TruncateToInt(p.y));
  }
  const int first_col = std::max(0, min_x / kChunkSide);
  const int first_row = std::max(0, min_y / kChunkSide);
  const int last_col = std::min(max_x / kChunkSide, store_header_.across - 1);
  const int last_row = std::min(max_y / kChunkSide, store_header_.down - 1);
  int64_t total = 0;
  for (int row = first_row; row <= last_row; ++row) {
    for (int col = first_col; col <= last_col; ++col) {
      QC3ChunkHeader chunk;
      if (SquareTouchesPolygon(double(col) * kChunkSide, double(row) * kChunkSide, kChunkSide,
                               polygon) &&
          ChunkStored(LocalEntry(row, col), chunk)) {
        total += int64_t(chunk.words[0]) * 4;
      }
    }
  }
  return total;
}
