#include "overlays/exchange/gpx_exchange.h"

#include <strings.h>

#include <string_view>

#include "core/ui/message_boxes.h"
#include "core/xml_document.h"
#include "overlays/exchange/gpx_file.h"
#include "overlays/exchange/gpx_xml_check.h"
#include "overlays/exchange/loc_file.h"
#include "overlays/exchange/tcx_file.h"
#include "overlays/ostrel_object.h"
#include "overlays/undo_ring.h"
#include "platform/os/files.h"

namespace {

enum class XmlKind { kGpx, kLoc, kTcx };

XmlKind KindOf(const std::string& path) {
  const std::string ending = path.substr(path.size() < 3 ? 0 : path.size() - 3);
  if (strcasecmp(ending.c_str(), "loc") == 0) return XmlKind::kLoc;
  if (strcasecmp(ending.c_str(), "tcx") == 0) return XmlKind::kTcx;
  return XmlKind::kGpx;
}

const char* RootName(XmlKind kind) {
  switch (kind) {
    case XmlKind::kLoc:
      return "loc";
    case XmlKind::kTcx:
      return "TrainingCenterDatabase";
    case XmlKind::kGpx:
      break;
  }
  return "gpx";
}

std::string ReadFailure(const std::string& path, const std::string& what) {
  return "Failed to read XML file: " + path + "\n" + what;
}

}  // namespace

ExchangeRead ImportXmlTrackFile(const std::string& path, ObjectList& list,
                                const ProgressFn& progress) {
  ExchangeRead result;
  if (!vd::os::FileExists(path)) {
    result.error = "Missing file: " + path;
    return result;
  }
  // Mapped rather than copied, and let go as it is read: the tree is several times the file.
  vd::os::MappedFile file;
  if (!file.Open(path)) {
    result.error = ReadFailure(path, "the file cannot be read");
    return result;
  }
  // Three phases of about equal time: the check, the tree, the objects.
  const ProgressFn watched = WatchForStop(progress, result.cancelled);
  const std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
  if (std::string problem = CheckXmlWellFormed(bytes, ProgressShare(watched, 0, 3));
      !problem.empty()) {
    if (!result.cancelled) result.error = ReadFailure(path, problem);
    return result;
  }
  file.Release(0, file.size());
  CXmlDocument document;
  CXmlNode* top = document.Parse(file, ProgressShare(watched, 1, 3));
  file.Close();
  if (result.cancelled) return result;
  const XmlKind kind = KindOf(path);
  const char* root_name = RootName(kind);
  CXmlNode* root = nullptr;
  if (top) {
    top->ResetCursor();
    root = top->FindNextDescendant(root_name);
  }
  if (!root) {
    result.error = ReadFailure(path, std::string("no <") + root_name + "> element");
    return result;
  }
  if (kind == XmlKind::kTcx && !FindChildElement(*root, "Activities")) {
    result.error = ReadFailure(path, "no Activities element");
    return result;
  }
  SaveUndoEmpty();
  switch (kind) {
    case XmlKind::kGpx:
      result.count = ReadGpx(*root, list, ProgressShare(watched, 2, 3));
      break;
    case XmlKind::kLoc:
      result.count = ReadLoc(*root, list);
      break;
    case XmlKind::kTcx:
      result.count = ReadTcx(*root, list);
      break;
  }
  return result;
}

bool ExportXmlTrackFile(const std::string& path, const ObjectList& list, std::string* error,
                        int* marks_written) {
  int marks = 0;
  const std::string bytes =
      KindOf(path) == XmlKind::kLoc ? MakeLocDocument(list, marks) : MakeGpxDocument(list);
  if (marks_written) *marks_written = marks;
  vd::os::AtomicFileWriter writer;
  const char* failure = nullptr;
  if (!writer.Open(path)) {
    failure = "Failed to open XML file: ";
  } else if (!writer.file().Write(bytes.data(), bytes.size()) || !writer.Commit()) {
    failure = "Failed to write XML file: ";
  }
  if (failure && error) *error = failure + path;
  return !failure;
}

int WriteGpxFile(const std::string& path, const ObjectList& list) {
  std::string error;
  int marks = 0;
  if (!ExportXmlTrackFile(path, list, &error, &marks)) {
    FormatMessageBox(vd::ui::kMbIconError, "%s", error.c_str());
    return 0;
  }
  if (KindOf(path) == XmlKind::kLoc) return marks;
  return list.empty() ? 0 : 1;
}

int ReadXmlTrackFile(const std::string& path, ObjectList& list) {
  const ExchangeRead result = ImportXmlTrackFile(path, list);
  if (!result.error.empty()) {
    FormatMessageBox(vd::ui::kMbIconError, "%s", result.error.c_str());
    return 0;
  }
  return result.count;
}

void GetLatestModifiedTime(const ObjectList& list, int32_t& time) {
  for (const COstrelObject* object : list) {
    if (static_cast<uint32_t>(object->modified) > static_cast<uint32_t>(time))
      time = object->modified;
  }
}
