#include "overlays/exchange/gpx_exchange.h"

#include <strings.h>

#include <span>
#include <string_view>
#include <vector>

#include "core/ui/message_boxes.h"
#include "core/xml_document.h"
#include "overlays/exchange/gpx_file.h"
#include "overlays/exchange/gpx_xml_check.h"
#include "overlays/exchange/loc_file.h"
#include "overlays/exchange/tcx_file.h"
#include "overlays/ostrel_object.h"
#include "overlays/undo_ring.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

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

// A name an import cut: its object, the length it had, and the line of the element it came
// from (0 while not found).
struct CutName {
  const COstrelObject* object;
  size_t had;
  int line = 0;
};

// Whether the text of a name element is where a cut name came from: the whole name (GPX, LOC),
// or the activity's Id that begins a TCX track's name ("<Id> lap 1 section 1").
bool NameCameFrom(const CutName& cut, std::string_view text, XmlKind kind) {
  const std::string& kept = cut.object->name;
  if (kind != XmlKind::kTcx) return text.size() == cut.had && text.starts_with(kept);
  if (text.size() >= cut.had) return false;
  return text.size() <= kept.size() ? std::string_view(kept).starts_with(text)
                                    : text.starts_with(kept);
}

// The text the readers take from a name element: its inner text, entity references decoded,
// blanks around it removed. declaration is the file's, for its encoding.
std::string NameElementText(std::string_view declaration, std::string_view element) {
  constexpr std::string_view kWrapper = "cut-name-wrapper";
  std::string bytes(declaration);
  bytes += "<" + std::string(kWrapper) + ">";
  bytes += element;
  bytes += "</" + std::string(kWrapper) + ">";
  CXmlDocument document;
  CXmlNode* top = document.Parse(bytes);
  if (!top) return {};
  top->ResetCursor();
  const CXmlNode* wrapper = top->FindNextDescendant(kWrapper);
  const auto children = wrapper ? wrapper->children() : std::span<const CXmlNode>();
  if (children.empty() || !children[0].element()) return {};
  std::string text;
  GetChildText(*wrapper, children[0].name(), text);
  return text;
}

// Finds in the file the lines of the name elements the cut names came from.
void FindCutNameLines(const std::string& path, XmlKind kind, std::vector<CutName>& cuts) {
  vd::os::MappedFile file;
  if (!file.Open(path)) return;
  const std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
  std::string_view declaration;
  if (const size_t at = bytes.find_first_not_of("\xEF\xBB\xBF \t\r\n");
      at != std::string_view::npos && bytes.substr(at).starts_with("<?xml")) {
    const size_t end = bytes.find("?>", at);
    if (end != std::string_view::npos) declaration = bytes.substr(at, end + 2 - at);
  }
  size_t open = cuts.size();
  // A byte of a file in a one-byte code page may become three bytes of UTF-8.
  FindLongNameElements(bytes, kMaxImportedNameBytes / 3, [&](const XmlNameElement& found) {
    const std::string text = NameElementText(declaration, found.element);
    for (CutName& cut : cuts) {
      if (cut.line != 0 || !NameCameFrom(cut, text, kind)) continue;
      cut.line = found.line;
      --open;
      // Every track of a TCX activity takes its name from the one Id.
      if (kind != XmlKind::kTcx) break;
    }
    return open > 0;
  });
}

// Cuts the names of the objects read, from `first` on, that are too long to keep, and tells
// each with the line it came from.
void CutLongNames(const std::string& path, XmlKind kind, ObjectList::iterator first,
                  ObjectList::iterator end, ExchangeRead& result) {
  std::vector<CutName> cuts;
  size_t more = 0;
  for (auto it = first; it != end; ++it) {
    if (const size_t had = CutImportedName((*it)->name)) {
      if (cuts.size() < ReadProblems::kListed) {
        cuts.push_back({*it, had});
      } else {
        ++more;
      }
    }
  }
  if (cuts.empty()) return;
  FindCutNameLines(path, kind, cuts);
  ReadProblems problems;
  for (const CutName& cut : cuts) {
    const std::string what = vd::os::FormatC("a name of %zu bytes; its first %zu were kept",
                                             cut.had, cut.object->name.size());
    problems.Add(cut.line > 0 ? "line " + std::to_string(cut.line) + ": " + what : what);
  }
  for (size_t i = 0; i < more; ++i) problems.Add({});
  result.error = problems.Text("Not all of " + path + " could be read:");
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
  CImportUndoStep step;
  // The objects read go after what the list already held.
  const size_t held = list.size();
  switch (kind) {
    case XmlKind::kGpx:
      result.count = ReadGpx(*root, list, ProgressShare(watched, 2, 3));
      break;
    case XmlKind::kLoc:
      result.count = ReadLoc(*root, list, ProgressShare(watched, 2, 3));
      break;
    case XmlKind::kTcx:
      result.count = ReadTcx(*root, list, ProgressShare(watched, 2, 3));
      break;
  }
  if (!result.cancelled) {
    CutLongNames(path, kind, std::next(list.begin(), held), list.end(), result);
    step.Save();
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
  if (!result.error.empty()) FormatMessageBox(vd::ui::kMbIconError, "%s", result.error.c_str());
  return result.count;
}

void GetLatestModifiedTime(const ObjectList& list, int32_t& time) {
  for (const COstrelObject* object : list) {
    if (static_cast<uint32_t>(object->modified) > static_cast<uint32_t>(time))
      time = object->modified;
  }
}
