#pragma once
// Overlay data sync: the marks, routes and tracks of the newer overlay model that changed since
// the account's last sync (deletion records included) are sent to the sync CGI of the maker's
// server, and the server's versions in its reply are merged by synchronisation id.
//
// Exchange file (block stream, little-endian), sync folder + "/file.vdsync":
//   request block 1: int32 0x2097BE28, int32 version 1, account name, access string (u32
//     length + bytes), double last sync time, double request time (both seconds since 1601),
//     int32 sync mode (CMarkManager setting sync_mode);
//   reply block 1: int32 0x2097BE29, two int32 the client does not use;
//   block 2 both ways: three object lists, marks, routes, tracks, each int32 count and per
//     object the uint64 sync id and the object's record (SerializeForSync).
// The POST replaces the file's content with the reply. The file holds the access string: the
// sync folder is private to the user (0700), the file 0600, and it is deleted at the end of
// every run, whatever happened.
//
// Time file, sync folder + "/time." + the account name's letters, digits and "_-.+" (at most 25):
// 8 bytes, the little-endian double request time of the last fully applied reply; missing = 0.
//
// Settings (section "settings"): "sync_account" and "sync_access" (the account, set by its
// sign-in; both empty when there is none) and "sync_server", the server's address
// "scheme://host[:port]" (a bare host is reached over HTTPS).
//
// Messages, on the parent window, captioned "Sync Failed": "Invalid response from server" for
// a reply of another tag, "Data error: try again" for a request that could not be written
// (nothing is then sent) or a reply list that does not read. The last sync time moves on only
// after a reply that was applied in full, so that a failed run sends the same changes again.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CSerializableStream;
class CSyncable;
class QWidget;

inline constexpr char kSyncCgiPath[] = "cgi-bin/sync.cgi";
inline constexpr char kSyncServerSetting[] = "sync_server";
inline constexpr char kDefaultSyncServer[] = "https://sync.vardune.com";
inline constexpr char kSyncAccountSetting[] = "sync_account";
inline constexpr char kSyncAccessSetting[] = "sync_access";
inline constexpr int32_t kSyncRequestTag = 0x2097BE28;
inline constexpr int32_t kSyncReplyTag = 0x2097BE29;
inline constexpr int32_t kSyncVersion = 1;
inline constexpr int32_t kSyncMaxListCount = 1'000'000;

// The state of one run.
struct OverlaySyncRun {
  QWidget* parent = nullptr;  // of the messages
  std::string account;
  std::string access;
  double request_time = 0.0;  // seconds since 1601
  std::string path;           // the exchange file
};

// Local application data ($XDG_DATA_HOME, else ~/.local/share) + "/Vardune/syncdata".
std::string OverlaySync_GetFolder();
// The account's time file.
std::string OverlaySync_TimeFilePath(const std::string& account);
// 0 when the file is missing or not 8 bytes long.
double OverlaySync_ReadLastSyncTime(const std::string& account);
bool OverlaySync_WriteLastSyncTime(const std::string& account, double time);

// One sync with the account of the settings; one run at a time (a second call while one runs
// returns at once). 0 on success, 1 after a failure (shown when the Part of the run that failed
// shows one).
int OverlaySync_Run(QWidget* parent);
// Writes the request, posts it and applies the reply; nothing when status is not 0 (sign-in not
// completed). The exchange file is gone afterwards. 0 on success, 1 on failure.
int OverlaySync_BuildRequest(OverlaySyncRun& run, int status);
// The objects' count, then id and record of each; false on the first write that fails.
bool OverlaySync_WriteObjectList(CSerializableStream& stream,
                                 const std::vector<CSyncable*>& list, double since);
// Reads the reply's first block after a POST of that status (0 = it succeeded), then applies
// it. 0 when applied, 1 otherwise.
int OverlaySync_OnReply(OverlaySyncRun& run, int status);
// Reads block 2 of the reply stream and merges it; closes the stream and deletes the exchange
// file. 0 on success; 1 after "Data error: try again".
int OverlaySync_ApplyReply(OverlaySyncRun& run, CSerializableStream& reply);
// One object list each, against CMarkManager's marks and routes and CTrackManager's tracks.
// Records are read into a new object first; only a record read in full changes the list.
bool OverlaySync_ReadMarkList(CSerializableStream& reply, double request_time);
bool OverlaySync_ReadRouteList(CSerializableStream& reply, double request_time);
bool OverlaySync_ReadTrackList(CSerializableStream& reply, double request_time);
