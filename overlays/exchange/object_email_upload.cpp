#include "overlays/exchange/object_email_upload.h"

#include <string_view>

#include "app/app_common.h"
#include "core/http_connection.h"
#include "core/persistent_value.h"
#include "core/string_utils.h"
#include "core/ui/message_boxes.h"
#include "overlays/exchange/email_sender.h"
#include "overlays/exchange/gpx_exchange.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/ostrel_object.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"

namespace {

CEmailSender* g_sender = nullptr;

CEmailSender& Sender() {
  static CEmailSender program_sender;
  return g_sender ? *g_sender : program_sender;
}

// Letters of the Windows code page above ASCII, the set file names have always kept.
bool IsCp1252Letter(unsigned char c) {
  // Š Œ Ž š œ ž Ÿ ƒ ª µ º, then À to ÿ but × and ÷.
  constexpr std::string_view kScattered = "\x8A\x8C\x8E\x9A\x9C\x9E\x9F\x83\xAA\xB5\xBA";
  return (c >= 0xC0 && c != 0xD7 && c != 0xF7) ||
         kScattered.find(static_cast<char>(c)) != std::string_view::npos;
}

// The characters of name that are letters, digits or one of `extra`, in order. A character
// outside the Windows code page, and any byte that is not well-formed UTF-8, is dropped.
std::string KeepNameCharacters(std::string_view name, std::string_view extra) {
  std::string kept;
  size_t i = 0;
  while (i < name.size()) {
    const unsigned char lead = static_cast<unsigned char>(name[i]);
    if (lead < 0x80) {
      if (IsAsciiAlnum(name[i]) || extra.find(name[i]) != extra.npos) kept += name[i];
      ++i;
      continue;
    }
    // The lead byte and the continuation bytes that follow it, at most as many as it announces;
    // a broken sequence never swallows the character after it.
    size_t following = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    size_t end = i + 1;
    while (following > 0 && end < name.size() &&
           (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
      ++end;
      --following;
    }
    const std::string_view character = name.substr(i, end - i);
    i = end;
    const std::string byte = vd::os::Utf8ToCp1252(character);
    if (byte.size() == 1 && IsCp1252Letter(static_cast<unsigned char>(byte[0]))) kept += character;
  }
  return kept;
}

// "<temp folder>/<kept characters of name>.gpx", with whatever had that name removed, so that
// a link there is not written through; a name that keeps nothing is called "Overlay", so that
// the file is neither hidden nor shared by every such name.
std::string TempGpxPath(const std::string& name, std::string_view extra) {
  const CAppCommon* app = CAppCommon::Instance();
  const std::string folder = app ? app->temp_folder : std::string();
  std::string kept = KeepNameCharacters(name, extra);
  if (kept.find_first_not_of(" .") == std::string::npos) kept = "Overlay";
  const std::string path = folder + "/" + kept + ".gpx";
  vd::os::RemoveFile(path);
  return path;
}

// Whether the GPX file of the list holds anything: a note or an icon table has no GPX form,
// and a route or track without points writes nothing.
bool HasGpxContent(const ObjectList& list) {
  for (const COstrelObject* object : list) {
    if (object->IsKindOf(CObjWaypoint::kClass)) return true;
    if (const auto* route = dynamic_cast<const CObjRoute*>(object); route && !route->points().empty())
      return true;
    if (const auto* track = dynamic_cast<const CObjTrack*>(object); track && !track->points().empty())
      return true;
  }
  return false;
}

// False, after telling the user, when a chosen list has nothing a GPX file carries.
bool CheckGpxContent(const ObjectList& list, const std::string& name, const char* action) {
  if (list.empty() || HasGpxContent(list)) return !list.empty();
  FormatMessageBox(vd::ui::kMbIconInformation,
                   "\"%s\" holds no mark, route or track, which is all a GPX file carries: "
                   "nothing was %s.",
                   name.c_str(), action);
  return false;
}

ObjectList CollectObject(COstrelObject& object) {
  ObjectList list;
  object.CollectForExport(list);
  return list;
}

bool UploadToCloud(const std::string& path) {
  PersistentString host("cloud_sync_host");
  PersistentInt https;
  https.Init("cloud_sync_https", 1);
  PersistentString session("cloud_sync_session");
  CHttpConnection connection(host.value.empty() ? kDefaultCloudSyncHost : host.value,
                             https.value != 0);
  return connection.UploadFile(kCloudSyncUploadPath, "fileToUpload", path, session.value);
}

}  // namespace

CEmailSender* SetObjectEmailSender(CEmailSender* sender) {
  CEmailSender* previous = g_sender;
  g_sender = sender;
  return previous;
}

void EmailObjectsAsGpx(COstrelObject* object) {
  if (object) EmailObjectListAsGpx(CollectObject(*object), object->name);
}

void EmailObjectListAsGpx(const ObjectList& list, const std::string& name) {
  if (!CheckGpxContent(list, name, "sent")) return;
  const std::string path = TempGpxPath(name, "_- ");
  if (WriteGpxFile(path, list) > 0) Sender().SendFile(path);
}

void CloudSyncUpload(COstrelObject* object) {
  if (object) UploadObjectListToCloud(CollectObject(*object), object->name);
}

void UploadObjectListToCloud(const ObjectList& list, const std::string& name) {
  if (!CheckGpxContent(list, name, "uploaded")) return;
  const std::string path = TempGpxPath(name, "_-.+");
  if (WriteGpxFile(path, list) <= 0) return;
  if (UploadToCloud(path)) {
    FormatMessageBox(vd::ui::kMbIconInformation, "%s",
                     "Data uploaded to cloud. See the mobile device online manual for "
                     "information on how to use the Cloud Sync feature.");
  } else {
    FormatMessageBox(vd::ui::kMbIconError, "%s", "Failed to upload data.");
  }
  vd::os::RemoveFile(path);
}
