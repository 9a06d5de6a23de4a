#include "charts/offline_data.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>

#include "core/file_utils.h"
#include "core/http_connection.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/url_utils.h"
#include "platform/os/files.h"

namespace {

constexpr char kNone[] = "none";
// Replies shorter than this cannot hold an address of any use.
constexpr int kMinRedirectReply = 11;
constexpr int kMaxRedirectReply = 999;
constexpr unsigned kGunzipPiece = 10000;

bool IsFile(const std::string& path) { return !path.empty() && IsNotFolder(path); }

// A name that can stand as one file name inside a folder: no separators, no "." or "..".
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
}

// One segment of a URL path: percent-coded, a blank as "%20" rather than a form's '+'.
std::string EncodePathSegment(const std::string& text) {
  std::string out;
  for (const char c : UrlEncode(text)) {
    if (c == '+') {
      out += "%20";
    } else {
      out += c;
    }
  }
  return out;
}

std::string DownloadTitle(const std::string& name, const std::string& kind,
                          const std::string& result) {
  if (kind == "qed") return "Downloading " + name + " elevation data for offline use.";
  if (kind == "vdq") return "Downloading " + name + " search data for offline use.";
  return "Downloading " + GetPathFileName(result);
}

std::string LookupTitle(const std::string& name, const std::string& kind) {
  if (kind == "qed") return "Looking for " + name + " elevation data...";
  if (kind == "vdq") return "Looking for " + name + " search data...";
  return "Looking for " + name + " data...";
}

}  // namespace

bool GunzipFile(const std::string& source, const std::string& target) {
  gzFile in = gzopen(source.c_str(), "rb");
  if (in == nullptr) return false;
  // zlib would pass a file that is not gzip through unchanged (an error page, say).
  if (gzdirect(in)) {
    gzclose(in);
    return false;
  }
  vd::os::AtomicFileWriter out;
  bool ok = out.Open(target);
  std::string piece(kGunzipPiece, '\0');
  while (ok) {
    const int n = gzread(in, piece.data(), kGunzipPiece);
    if (n <= 0) {
      int error = Z_OK;
      gzerror(in, &error);
      ok = n == 0 && error == Z_OK;  // a truncated stream ends with Z_BUF_ERROR
      break;
    }
    ok = out.file().Write(piece.data(), static_cast<size_t>(n));
  }
  gzclose(in);
  return ok && out.Commit();
}

std::string COfflineData::DownloadOfflineData(const std::string& chart_path,
                                              const std::string& name, const std::string& kind,
                                              bool requery) {
  if (name.empty()) {
    std::string own = ReplacePathExtension(chart_path, kind);
    return IsFile(own) ? own : "";
  }
  const std::string map_store = services_.map_store_folder ? services_.map_store_folder() : "";
  std::string result;
  // Without a map-store folder there is nowhere to cache or download to.
  if (!map_store.empty()) {
    // The chart name comes from the chart file: reduced to a safe file name for the cache.
    const std::string cache =
        map_store + "/redir/" + MakeSafeFileName(name) + "_" + MakeSafeFileName(kind) + ".txt";
    result = requery ? "" : ReadFirstLine(cache);
    if (IsFile(result)) return result;
    if (result == kNone) return result;

    bool cancelled = false;
    result = QueryServer(map_store, name, kind, cancelled);
    const bool found = IsFile(result);
    // A look-up the user cancelled leaves the question open for the next time.
    if (!cancelled && CreateDirectoryTree(GetPathDirectory(cache))) {
      vd::os::SaveFileAtomically(cache, (found ? result : kNone) + std::string("\n"));
    }
    if (!found) result.clear();
  }

  if (result.empty() && IsPlainFileName(name)) {
    std::string beside = GetPathDirectory(chart_path) + "/" + name + "." + kind;
    if (IsFile(beside)) return beside;
  }
  return result;
}

std::string COfflineData::QueryServer(const std::string& map_store, const std::string& name,
                                      const std::string& kind, bool& cancelled) {
  char reply[kMaxRedirectReply];
  int length = -1;
  std::string redirect = services_.redirect_host;
  if (redirect.empty()) {
    redirect =
        vd::OpenAppProfile().GetString(vd::kSettingsSection, kOfflineRedirectSetting).value_or("");
    if (redirect.empty()) redirect = kOfflineRedirectHost;
  }
  const std::string query = "/redir/" + EncodePathSegment(name + "_" + kind) + ".txt";
  cancelled = false;
  const auto ask = [&](CDownloadProgress& job) {
    CHttpConnection connection(redirect, false, 80);
    connection.SetAbortCallback(
        [](void* record) { return !static_cast<CDownloadProgress*>(record)->cancel.load(); },
        &job);
    length = connection.ReadInto(query, reply, kMaxRedirectReply);
    cancelled = job.cancel.load();
  };
  if (services_.lookup) {
    services_.lookup(LookupTitle(name, kind), ask);
  } else {
    CDownloadProgress job;
    ask(job);
  }
  if (cancelled || length < kMinRedirectReply || length > kMaxRedirectReply) return "";
  std::string url;
  for (int i = 0; i < length; ++i) {
    const char c = reply[i];
    if (c == '\0' || c == '\r' || c == '\n' || static_cast<uint8_t>(c) == 0xFF) break;
    url += c;
  }
  std::string scheme, host, path;
  SplitUrl(url, scheme, host, path);
  const std::string file_name = GetPathFileName(path);
  // The server names the file: it must stay inside the map-store folder.
  if (host.empty() || !IsPlainFileName(file_name)) return "";

  const std::string download = map_store + "/" + file_name;
  const bool packed = PathHasExtension(download, "gz");
  const std::string result = packed ? map_store + "/" + GetPathTitle(path) : download;
  if (packed && !IsPlainFileName(GetPathTitle(path))) return "";
  if (!IsFile(result)) {
    const std::string title = DownloadTitle(name, kind, result);
    const bool secure = scheme == "https";
    if (services_.download) {
      services_.download(host, path, download, title, secure);
    } else {
      CHttpConnection(host, secure).GetToFile(path, download);
    }
  }
  // A failed unpacking keeps the compressed file for the next attempt.
  if (packed && IsFile(download) && GunzipFile(download, result)) vd::os::RemoveFile(download);
  return result;
}

void COfflineData::FindElevationFile(const std::string& chart_path, const std::string& name) {
  const std::string found = DownloadOfflineData(chart_path, name, "qed", false);
  if (IsFile(found)) OpenElevationFile(found);
}

bool COfflineData::OpenElevationFile(const std::string& path) {
  const std::string qed = ReplaceFileExtension(path, ".qed");
  if (!IsFile(qed) || !elevation_file_.Open(qed)) return false;
  vd::OpenAppProfile().SetString(vd::kSettingsSection, "qedfile", qed);
  return true;
}

void COfflineData::OpenSavedElevationFile(const std::string& program_folder) {
  std::string qed = vd::OpenAppProfile()
                        .GetString(vd::kSettingsSection, "qedfile")
                        .value_or(program_folder + "/elevation.qed");
  std::replace(qed.begin(), qed.end(), '\\', '/');  // written by the older edition
  if (IsFile(qed)) elevation_file_.Open(qed);
}
