#include "gps/garmin/garmin_mass_storage.h"

#include <algorithm>
#include <random>

#include "core/xml_document.h"
#include "gps/garmin/garmin_status.h"
#include "gps/gps_notice.h"
#include "overlays/exchange/gpx_exchange.h"
#include "overlays/obj_route.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

constexpr char kDescriptionPath[] = "Garmin/GarminDevice.xml";
constexpr char kExportPrefix[] = "_vd";

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

bool HasExtension(const std::string& name, std::string_view extension) {
  return name.size() > extension.size() &&
         Lower(name.substr(name.size() - extension.size())) == extension;
}

// root joined with a relative path of the device ('\' or '/' between names), each name taken
// as it exists in any case. Empty for a path that would leave the root.
std::string ResolveOnDevice(const std::string& root, std::string_view relative) {
  if (relative.empty() || relative.front() == '/' || relative.front() == '\\' ||
      relative.find(':') != std::string_view::npos || relative.find('\0') != std::string_view::npos)
    return {};
  std::string path = root;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = relative.size();
    const std::string name(relative.substr(start, end - start));
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") return {};
    std::vector<vd::os::DirEntry> entries;
    std::string actual = name;
    if (vd::os::ListFolder(path, entries)) {
      for (const vd::os::DirEntry& e : entries)
        if (Lower(e.name) == Lower(name)) {
          actual = e.name;
          break;
        }
    }
    path += "/" + actual;
  }
  return path;
}

std::string ChildText(const CXmlNode& node, std::string_view name) {
  std::string text;
  node.GetChildString(name, text);
  const size_t first = text.find_first_not_of(" \t\r\n");
  const size_t last = text.find_last_not_of(" \t\r\n");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

const OverlayClass& ClassOfKind(int kind) {
  switch (kind) {
    case CGPSInterface::kWaypoints: return CObjWaypoint::kClass;
    case CGPSInterface::kRoutes: return CObjRoute::kClass;
    default: return CObjTrack::kClass;
  }
}

// Drops the list's references, routes first: a route's end may end its marks.
void ReleaseObjects(ObjectList& list) {
  for (const bool routes : {true, false}) {
    for (auto it = list.begin(); it != list.end();) {
      if ((*it)->IsKindOf(CObjRoute::kClass) != routes) {
        ++it;
        continue;
      }
      COstrelObject* object = *it;
      it = list.erase(it);
      object->Release();
    }
  }
}

}  // namespace

std::vector<std::string> DefaultGarminDriveRoots() {
  std::vector<std::string> roots;
  const std::string user = vd::os::GetEnv("USER").value_or("");
  std::vector<std::string> bases = {"/media", "/mnt"};
  if (!user.empty()) bases.insert(bases.begin(), {"/run/media/" + user, "/media/" + user});
  for (const std::string& base : bases) {
    std::vector<vd::os::DirEntry> entries;
    if (!vd::os::ListFolder(base, entries)) continue;
    for (const vd::os::DirEntry& e : entries)
      if (e.is_dir) roots.push_back(base + "/" + e.name);
  }
  return roots;
}

CGarminMassStorage::CGarminMassStorage(vd::os::MessageWindow& window, const GPSParams& params,
                                       GPS_position_info& fix, std::vector<std::string> roots)
    : CGPSInterface(&params) {
  GPS_position_info record = fix;
  record.restart_silently = 0;
  fix.restart_silently = 0;
  if (roots.empty()) roots = DefaultGarminDriveRoots();
  for (const std::string& root : roots) {
    const std::string path = ResolveOnDevice(root, kDescriptionPath);
    if (path.empty() || !vd::os::FileExists(path)) continue;
    if (!ReadDescription(root, path)) {
      record.status = GarminStatusText(message);
      PostGpsNotice(window, kGpsNoticeFailure, record);
      continue;
    }
    description_path_ = path;
    GpsLogPrintf(this, "%s", device_description.c_str());
    RemoveTakenExports();
    record.status = "Garmin Mass-storage found OK";
    PostGpsNotice(window, kGpsNoticeFix, record);
    return;
  }
  record.status = "Garmin USB not connected";
  PostGpsNotice(window, kGpsNoticeFailure, record);
}

bool CGarminMassStorage::ReadDescription(const std::string& root, const std::string& path) {
  CXmlDocument document;
  CXmlNode* top = document.Load(path);
  if (!top) {
    message = "Missing file: " + path;
    return false;
  }
  CXmlNode* storage = top->FindNextDescendant("MassStorageMode");
  if (!storage) {
    message = "Failed to read XML file: " + path;
    return false;
  }
  top->ResetCursor();
  if (CXmlNode* model = top->FindNextDescendant("Model")) {
    const std::string description = ChildText(*model, "Description");
    if (!description.empty()) device_description = description;
  }
  const auto folder = [&root](const CXmlNode& location) {
    const std::string resolved = ResolveOnDevice(root, ChildText(location, "Path"));
    return resolved.empty() ? resolved : resolved + "/";
  };
  CXmlNode::Cursor types = 0;
  while (CXmlNode* type = storage->FindNextChild("DataType", types)) {
    const std::string name = ChildText(*type, "Name");
    CXmlNode::Cursor files = 0;
    while (CXmlNode* file = type->FindNextChild("File", files)) {
      CXmlNode* location = file->FindChild("Location");
      if (!location) continue;
      const std::string extension = Lower(ChildText(*location, "FileExtension"));
      const std::string direction = ChildText(*file, "TransferDirection");
      if (name == "GPSData" && extension == "gpx") {
        if (direction == "InputToUnit") input_folder_ = folder(*location);
        if (direction == "OutputFromUnit") output_folder_ = folder(*location);
      } else if (name == "FitnessHistory" && extension == "tcx") {
        fitness_folder_ = folder(*location);
      }
    }
  }
  return true;
}

void CGarminMassStorage::RemoveTakenExports() {
  // The device takes an export over when it next writes its own files.
  if (input_folder_.empty() || output_folder_.empty()) return;
  const std::optional<int64_t> stamp = vd::os::FileModifiedTime(output_folder_);
  if (!stamp) return;
  std::vector<vd::os::DirEntry> entries;
  if (!vd::os::ListFolder(input_folder_, entries)) return;
  for (const vd::os::DirEntry& e : entries) {
    if (e.is_dir || Lower(e.name).rfind(kExportPrefix, 0) != 0 || !HasExtension(e.name, ".gpx"))
      continue;
    if (e.mtime < *stamp) vd::os::RemoveFile(input_folder_ + e.name);
  }
}

bool CGarminMassStorage::CanTransfer(int direction, int) const {
  return direction == kFromDevice ? !output_folder_.empty() : !input_folder_.empty();
}

int CGarminMassStorage::Import(int kind, ObjectList& document) {
  message.clear();
  if (output_folder_.empty()) {
    message = "The device names no folder to read from";
    return 0;
  }
  std::vector<std::string> files;
  const auto collect = [&files](const std::string& folder, std::string_view extension) {
    std::vector<vd::os::DirEntry> entries;
    if (folder.empty() || !vd::os::ListFolder(folder, entries)) return;
    for (const vd::os::DirEntry& e : entries)
      if (!e.is_dir && HasExtension(e.name, extension)) files.push_back(folder + e.name);
  };
  collect(output_folder_, ".gpx");
  if (kind == kTracks) collect(fitness_folder_, ".tcx");

  ObjectList read;
  for (const std::string& path : files) {
    const ExchangeRead result = ImportXmlTrackFile(path, read);
    if (!result.error.empty()) message += (message.empty() ? "" : "\n") + result.error;
  }
  const OverlayClass& wanted = ClassOfKind(kind);
  const auto held = [&document](const COstrelObject* object) {
    return std::any_of(document.begin(), document.end(),
                       [object](const COstrelObject* h) { return h->IsSameObject(*object); });
  };
  int added = 0;
  std::vector<const CObjRoute*> routes_taken;
  ObjectList taken, dropped;
  for (COstrelObject* object : read) {
    if (object->IsExportable() && object->IsKindOf(wanted) && !held(object)) {
      taken.push_back(object);
      ++added;
      if (object->IsKindOf(CObjRoute::kClass)) routes_taken.push_back(static_cast<CObjRoute*>(object));
    }
  }
  // The points of the routes taken come along; those of routes dropped go with them.
  const auto on_route_taken = [&routes_taken](const COstrelObject* object) {
    return std::any_of(routes_taken.begin(), routes_taken.end(), [object](const CObjRoute* r) {
      return std::find(r->points().begin(), r->points().end(), object) != r->points().end();
    });
  };
  for (COstrelObject* object : read) {
    if (std::find(taken.begin(), taken.end(), object) != taken.end()) continue;
    if (!object->IsExportable() && on_route_taken(object))
      taken.push_back(object);
    else
      dropped.push_back(object);
  }
  for (COstrelObject* object : taken) {
    document.push_back(object);
    object->NotifyChange(4);
  }
  ReleaseObjects(dropped);
  return added;
}

int CGarminMassStorage::Export(int kind, const ObjectList& document) {
  message.clear();
  if (input_folder_.empty()) {
    message = "The device names no folder to write to";
    return 0;
  }
  const OverlayClass& wanted = ClassOfKind(kind);
  ObjectList chosen;
  for (COstrelObject* object : document)
    if (object->visible && object->IsExportable() && object->IsKindOf(wanted)) chosen.push_back(object);
  if (chosen.empty()) return 0;

  static std::mt19937 random{std::random_device{}()};
  std::string path;
  do {
    path = input_folder_ + vd::os::FormatC("%s%04x.gpx", kExportPrefix,
                                           static_cast<unsigned>(random() & 0xFFFF));
  } while (vd::os::FileExists(path));
  if (!ExportXmlTrackFile(path, chosen, &message)) return 0;
  return static_cast<int>(chosen.size());
}
