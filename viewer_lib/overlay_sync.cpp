#include "viewer_lib/overlay_sync.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <unordered_map>

#include "core/persistent_value.h"
#include "core/serializable_stream.h"
#include "core/ui/message_boxes.h"
#include "core/ui/progress.h"
#include "core/url_utils.h"
#include "core/web_binary_cgi.h"
#include "overlays/model/mark_manager.h"
#include "overlays/model/overlay_time.h"
#include "overlays/model/track_manager.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"

namespace {

constexpr char kFailedCaption[] = "Sync Failed";
constexpr char kDataError[] = "Data error: try again";
constexpr size_t kMaxAccountNameInFile = 25;

std::atomic<bool> run_active{false};

void ShowFailure(const OverlaySyncRun& run, const char* text) {
  ShowMessageBox(run.parent, kFailedCaption, text);
}

std::string ReadSetting(const char* name) {
  return vd::OpenAppProfile().GetString(vd::kSettingsSection, name).value_or("");
}

void SyncServer(bool& secure, std::string& host) {
  std::string address = ReadSetting(kSyncServerSetting);
  if (address.empty()) address = kDefaultSyncServer;
  std::string scheme;
  std::string path;
  SplitUrl(address + "/", scheme, host, path);
  if (scheme.empty()) host = address.substr(0, address.find('/'));
  secure = scheme.empty() || scheme == "https";
}

// The folder exists and only its owner may enter it; false when it can't be made so.
bool MakePrivateFolder(const std::string& folder) {
  return vd::os::MakeFolders(folder) && ::chmod(folder.c_str(), 0700) == 0;
}

// An existing or new empty file that only its owner may read; the save that replaces it keeps
// its permissions.
bool PreparePrivateFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = ::fchmod(fd, 0600) == 0;
  ::close(fd);
  return ok;
}

// The objects changed after `since`, leaving out those deleted before their first sync and
// those the user made not syncable.
template <class T, class Skip>
std::vector<CSyncable*> ChangedSince(const std::vector<std::unique_ptr<T>>& list, double since,
                                     Skip skip) {
  std::vector<CSyncable*> changed;
  for (const auto& object : list) {
    if (!object->purge && !object->not_syncable && object->modified > since &&
        !skip(*object)) changed.push_back(object.get());
  }
  return changed;
}

bool WriteRequest(const OverlaySyncRun& run, double last_sync) {
  std::vector<CSyncable*> marks, routes, tracks;
  const auto keep_all = [](const auto&) { return false; };
  if (CMarkManager* manager = CMarkManager::Instance()) {
    marks = ChangedSince(manager->marks, last_sync, keep_all);
    routes = ChangedSince(manager->routes, last_sync, keep_all);
  }
  if (CTrackManager* manager = CTrackManager::Instance()) {
    tracks = ChangedSince(manager->tracks, last_sync, [](const COverlayTrack& track) {
      return track.sync_id == 0 && track.IsDisposable();
    });
  }
  if (!MakePrivateFolder(OverlaySync_GetFolder()) || !PreparePrivateFile(run.path)) return false;
  CSerializableStream out;
  if (!out.OpenWrite(run.path)) return false;
  bool ok;
  {
    CSerializableStream::Block block(out);
    int32_t tag = kSyncRequestTag;
    int32_t version = kSyncVersion;
    std::string account = run.account;
    std::string access = run.access;
    double last = last_sync;
    double now = run.request_time;
    int32_t mode = CMarkManager::Settings().sync_mode;
    ok = block.ok() && out.ExchangeRaw(&tag, sizeof tag) &&
         out.ExchangeRaw(&version, sizeof version) && out.ExchangeString(account) &&
         out.ExchangeString(access) && out.ExchangeRaw(&last, sizeof last) &&
         out.ExchangeRaw(&now, sizeof now) && out.ExchangeRaw(&mode, sizeof mode);
  }
  {
    CSerializableStream::Block block(out);
    ok = ok && block.ok() && OverlaySync_WriteObjectList(out, marks, last_sync) &&
         OverlaySync_WriteObjectList(out, routes, last_sync) &&
         OverlaySync_WriteObjectList(out, tracks, last_sync);
  }
  return out.Close() && ok;
}

// Posts the exchange file on a worker thread while this thread keeps the progress window alive.
int PostExchangeFile(const OverlaySyncRun& run) {
  bool secure = true;
  std::string host;
  SyncServer(secure, host);
  std::packaged_task<bool()> post([&] {
    CWebBinaryCGI cgi(host, kSyncCgiPath, secure);
    return cgi.PostFile(run.path);
  });
  std::future<bool> done = post.get_future();
  std::thread worker(std::move(post));
  {
    CProgress progress("Syncing overlay data...", 0, run.parent);
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
      progress.SetPos64(0, 0);
    }
  }
  worker.join();
  return done.get() ? 0 : 1;
}

// The synchronised fields of `from` over `to`; whether `to` takes part in the sync stays the
// user's choice.
void AssignSynced(CSyncable& to, const CSyncable& from) {
  const bool not_syncable = to.not_syncable;
  to = from;
  to.not_syncable = not_syncable;
}

// Copies a record read into `from` over `to`, which stays in its list (and keeps what belongs
// to this program only: being the navigation target).
void CommitRecord(COverlayMark& to, COverlayMark& from) {
  AssignSynced(to, from);
  to.latitude = from.latitude;
  to.longitude = from.longitude;
  to.link = from.link;
  to.icon = from.icon;
  to.colour = from.colour;
  to.anchor_radius = from.anchor_radius;
  to.alarm_radius = from.alarm_radius;
}

void CommitRecord(COverlayRoute& to, COverlayRoute& from) {
  to.Clear();  // the old points go: nothing may keep pointing at them
  AssignSynced(to, from);
  to.colour = from.colour;
  to.width = from.width;
  to.pattern = from.pattern;
  for (auto& point : from.points) to.InsertPoint(std::move(point), to.points.size());
  from.points.clear();
}

void CommitRecord(COverlayTrack& to, COverlayTrack& from) {
  to.Reset();
  AssignSynced(to, from);
  to.colour = from.colour;
  to.width = from.width;
  to.pattern = from.pattern;
  to.sections = std::move(from.sections);
  from.sections.clear();
  for (const auto& section : to.sections) section->owner = &to;
}

void Announce(COverlayMark& mark) { mark.NotifyChange(COverlayObject::kAppeared); }
void Announce(COverlayRoute& route) { route.AnnounceAll(COverlayObject::kAppeared); }
void Announce(COverlayTrack& track) { track.AnnounceSections(COverlayObject::kAppeared); }

// Takes the deletion records the server has seen (or that never reached it) out of the list,
// then destroys them.
template <class T>
void RemoveSyncedDeletions(std::vector<std::unique_ptr<T>>& list, double request_time) {
  std::vector<std::unique_ptr<T>> kept;
  std::vector<std::unique_ptr<T>> removed;
  for (auto& object : list) {
    const bool gone = object->deleted && (object->purge || object->modified <= request_time);
    (gone ? removed : kept).push_back(std::move(object));
  }
  list = std::move(kept);
  removed.clear();
}

template <class T, class Add>
bool ReadObjectList(CSerializableStream& in, std::vector<std::unique_ptr<T>>& list,
                    double request_time, Add add) {
  int32_t count = 0;
  if (in.AtBlockEnd() || !in.ExchangeRaw(&count, sizeof count)) return false;
  if (count < 0 || count > kSyncMaxListCount) return false;
  if (count == 0) return true;
  std::unordered_map<uint64_t, T*> by_id;
  for (const auto& object : list) {
    if (object->sync_id != 0) by_id.emplace(object->sync_id, object.get());
  }
  for (int32_t i = 0; i < count; ++i) {
    uint64_t id = 0;
    if (in.AtBlockEnd() || !in.ExchangeRaw(&id, sizeof id) || id == 0) return false;
    auto record = std::make_unique<T>();
    if (in.AtBlockEnd() || !record->SerializeForSync(in, 0, request_time)) return false;
    record->sync_id = id;
    const auto found = by_id.find(id);
    if (found == by_id.end()) {
      T* added = add(std::move(record));
      by_id.emplace(id, added);
      Announce(*added);
    } else if (!found->second->purge) {
      CommitRecord(*found->second, *record);
      Announce(*found->second);
    }
  }
  RemoveSyncedDeletions(list, request_time);
  return true;
}

}  // namespace

std::string OverlaySync_GetFolder() {
  const std::optional<std::string> data = vd::os::GetEnv("XDG_DATA_HOME");
  const std::string base =
      data && !data->empty() ? *data : vd::os::HomeFolder() + "/.local/share";
  return base + "/Vardune/syncdata";
}

std::string OverlaySync_TimeFilePath(const std::string& account) {
  std::string name;
  for (const char c : account) {
    if (name.size() == kMaxAccountNameInFile) break;
    const unsigned char byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || std::strchr("_-.+", c) != nullptr) name += c;
  }
  return OverlaySync_GetFolder() + "/time." + name;
}

double OverlaySync_ReadLastSyncTime(const std::string& account) {
  std::string bytes;
  double time = 0.0;
  if (vd::os::ReadWholeFile(OverlaySync_TimeFilePath(account), bytes) &&
      bytes.size() == sizeof time) {
    std::memcpy(&time, bytes.data(), sizeof time);
  }
  return time;
}

bool OverlaySync_WriteLastSyncTime(const std::string& account, double time) {
  char bytes[sizeof time];
  std::memcpy(bytes, &time, sizeof time);
  return MakePrivateFolder(OverlaySync_GetFolder()) &&
         vd::os::SaveFileAtomically(OverlaySync_TimeFilePath(account),
                                    std::string_view(bytes, sizeof bytes));
}

int OverlaySync_Run(QWidget* parent) {
  if (run_active.exchange(true)) return 1;
  OverlaySyncRun run;
  run.parent = parent;
  run.account = ReadSetting(kSyncAccountSetting);
  run.access = ReadSetting(kSyncAccessSetting);
  const int result = OverlaySync_BuildRequest(run, 0);
  run_active = false;
  return result;
}

int OverlaySync_BuildRequest(OverlaySyncRun& run, int status) {
  if (status != 0) return 1;
  run.request_time = GetNow();
  run.path = OverlaySync_GetFolder() + "/file.vdsync";
  int result = 1;
  if (!WriteRequest(run, OverlaySync_ReadLastSyncTime(run.account))) {
    ShowFailure(run, kDataError);
  } else {
    result = OverlaySync_OnReply(run, PostExchangeFile(run));
  }
  vd::os::RemoveFile(run.path);
  return result;
}

bool OverlaySync_WriteObjectList(CSerializableStream& stream,
                                 const std::vector<CSyncable*>& list, double since) {
  int32_t count = static_cast<int32_t>(list.size());
  if (!stream.ExchangeRaw(&count, sizeof count)) return false;
  for (CSyncable* object : list) {
    uint64_t id = object->sync_id;
    if (!stream.ExchangeRaw(&id, sizeof id) || !object->SerializeForSync(stream, 0, since)) {
      return false;
    }
  }
  return !stream.Failed();
}

int OverlaySync_OnReply(OverlaySyncRun& run, int status) {
  if (status != 0) return 1;
  CSerializableStream reply;
  if (!reply.OpenRead(run.path)) return 1;
  int32_t tag = 0;
  int32_t unused[2] = {};
  bool ok;
  {
    CSerializableStream::Block block(reply);
    ok = block.ok() && !reply.AtBlockEnd() && reply.ExchangeRaw(&tag, sizeof tag) &&
         tag == kSyncReplyTag;
    ok = ok && reply.ExchangeRaw(unused, sizeof unused);
  }
  if (!ok) {
    ShowFailure(run, "Invalid response from server");
    return 1;
  }
  return OverlaySync_ApplyReply(run, reply);
}

int OverlaySync_ApplyReply(OverlaySyncRun& run, CSerializableStream& reply) {
  bool ok;
  {
    CSerializableStream::Block block(reply);
    ok = block.ok() && OverlaySync_ReadMarkList(reply, run.request_time) &&
         OverlaySync_ReadRouteList(reply, run.request_time) &&
         OverlaySync_ReadTrackList(reply, run.request_time);
  }
  reply.Close();
  vd::os::RemoveFile(run.path);
  if (!ok) {
    ShowFailure(run, kDataError);
    return 1;
  }
  OverlaySync_WriteLastSyncTime(run.account, run.request_time);
  return 0;
}

bool OverlaySync_ReadMarkList(CSerializableStream& reply, double request_time) {
  CMarkManager* manager = CMarkManager::Instance();
  if (manager == nullptr) return false;
  return ReadObjectList(reply, manager->marks, request_time,
                        [&](std::unique_ptr<COverlayMark> mark) {
                          return manager->AddMark(std::move(mark));
                        });
}

bool OverlaySync_ReadRouteList(CSerializableStream& reply, double request_time) {
  CMarkManager* manager = CMarkManager::Instance();
  if (manager == nullptr) return false;
  return ReadObjectList(reply, manager->routes, request_time,
                        [&](std::unique_ptr<COverlayRoute> route) {
                          return manager->AddRoute(std::move(route));
                        });
}

bool OverlaySync_ReadTrackList(CSerializableStream& reply, double request_time) {
  CTrackManager* manager = CTrackManager::Instance();
  if (manager == nullptr) return false;
  return ReadObjectList(reply, manager->tracks, request_time,
                        [&](std::unique_ptr<COverlayTrack> track) {
                          return manager->AddTrack(std::move(track));
                        });
}
