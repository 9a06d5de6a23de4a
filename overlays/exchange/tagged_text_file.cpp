#include "overlays/exchange/tagged_text_file.h"

#include <algorithm>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>

#include "core/string_utils.h"
#include "core/text_tokenizer.h"
#include "overlays/icon_library.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_file.h"
#include "overlays/undo_ring.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"

namespace {

constexpr std::string_view kTrainerHeader = "[Timex Trainer Data File]";

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

// The file's text in UTF-8, read and converted from the file's code page a piece at a time:
// each piece tells progress, the reading as the first of `parts` equal phases and the
// converting as the second, so that the bar moves through a file of a few long lines too. False
// when the file cannot be read; cancelled set (and false) when progress asked to stop.
bool ReadFileText(const std::string& path, std::string& text, const ProgressFn& progress,
                  int parts, bool& cancelled) {
  constexpr size_t kPiece = size_t{1} << 20;
  vd::os::File file;
  if (!file.Open(path, vd::os::File::Mode::Read)) return false;
  const int64_t size = file.Size();
  if (size < 0) return false;
  std::string bytes;
  bytes.resize(static_cast<size_t>(size));
  ProgressSteps reading(ProgressShare(progress, 0, parts), size);
  size_t have = 0;
  while (have < bytes.size()) {
    if (!reading(static_cast<int64_t>(have))) {
      cancelled = true;
      return false;
    }
    const int64_t got = file.Read(bytes.data() + have, std::min(kPiece, bytes.size() - have));
    if (got < 0) return false;
    if (got == 0) break;  // the file became shorter meanwhile
    have += static_cast<size_t>(got);
  }
  bytes.resize(have);
  // One byte is one character in the code page, so the pieces convert alone.
  ProgressSteps converting(ProgressShare(progress, 1, parts), static_cast<int64_t>(have));
  text.clear();
  text.reserve(have + have / 8);
  for (size_t at = 0; at < have; at += kPiece) {
    if (!converting(static_cast<int64_t>(at))) {
      cancelled = true;
      return false;
    }
    text += vd::os::Cp1252ToUtf8(std::string_view(bytes).substr(at, kPiece));
  }
  return true;
}

// A line as the user is shown it: its number and its first characters.
std::string LineText(size_t number, std::string_view line, const char* what) {
  constexpr size_t kShown = 60;
  std::string shown(line.substr(0, kShown));
  // Not in the middle of a character.
  while (shown.size() < line.size() && !shown.empty() &&
         (static_cast<unsigned char>(line[shown.size()]) & 0xC0) == 0x80) {
    shown.pop_back();
  }
  if (shown.size() < line.size()) shown += "...";
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';  // control bytes of a binary file
  }
  return "line " + std::to_string(number) + ": " + what + ": \"" + shown + "\"";
}

// The point count a route or track record declares (the field after name, category, visible
// and locked), when it holds a number.
std::optional<int64_t> DeclaredPointCount(std::string_view line) {
  TextTokenizer fields(line);
  for (int skipped = 0; skipped < 5; ++skipped) {
    if (!fields.NextToken()) return std::nullopt;
  }
  int64_t count = 0;
  const std::optional<std::string> text = fields.NextToken();
  if (!text || !vd::os::ParseInt64(*text, count)) return std::nullopt;
  return count;
}

size_t PointsRead(const COstrelObject& container) {
  if (const auto* route = dynamic_cast<const CObjRoute*>(&container)) return route->points().size();
  if (const auto* track = dynamic_cast<const CObjTrack*>(&container)) return track->points().size();
  return 0;
}

// A route or track record and the point count its line declares, told when the points read
// for it come to another number (a file cut short, or a count that is plainly wrong).
struct DeclaredPoints {
  const COstrelObject* container = nullptr;
  size_t line_number = 0;
  std::optional<int64_t> declared;

  void Check(ReadProblems& problems) const {
    if (!container || !declared) return;
    const size_t read = PointsRead(*container);
    if (*declared >= 0 && static_cast<uint64_t>(*declared) == read) return;
    problems.Add(vd::os::FormatC("line %zu: the %s \"%s\" declares %lld points; %zu %s kept",
                                 line_number, dynamic_cast<const CObjRoute*>(container) ? "route" : "track",
                                 container->name.c_str(), static_cast<long long>(*declared), read,
                                 read == 1 ? "was" : "were"));
  }
};

// The checks of a record that was read: a name of absurd length is cut, and a mark beyond the
// 180th meridian is put on the same meridian within -180..180, each told with its line.
void CheckRecord(COstrelObject& object, size_t line_number, ReadProblems& problems) {
  if (const size_t had = CutImportedName(object.name)) {
    problems.Add(vd::os::FormatC("line %zu: a name of %zu bytes; its first %zu were kept",
                                 line_number, had, object.name.size()));
  }
  auto* mark = dynamic_cast<CObjWaypoint*>(&object);
  if (!mark || (mark->position.lon >= -180.0 && mark->position.lon <= 180.0)) return;
  const double given = mark->position.lon;
  mark->position.lon += given > 180.0 ? -360.0 : 360.0;
  problems.Add(vd::os::FormatC("line %zu: a mark at longitude %.6f, kept at %.6f (the same meridian)",
                               line_number, given, mark->position.lon));
}

// The object a line starting a new record makes, or null for other lines.
COstrelObject* NewObjectFor(std::string_view tag) {
  if (tag == "WP") return new CObjWaypoint;
  if (tag == "TX") return new CObjText;
  if (tag == "TK") return new CObjTrack;
  if (tag == "RT") return new CObjRoute;
  return nullptr;
}

}  // namespace

bool ExportTextFile(const std::string& path, const ObjectList& list, std::string* error) {
  SetCurrentOverlayFolderFromPath(path);
  const std::string folder = CurrentOverlayFolder();

  std::string text;
  std::set<int> symbol_slots;
  for (COstrelObject* object : list) {
    if (const auto* mark = dynamic_cast<const CObjWaypoint*>(object)) {
      symbol_slots.insert(mark->symbol_slot());
    }
  }
  // Icon files that can't be written leave their marks with the default symbol on import;
  // the text itself is still worth saving.
  CIconLibrary::Get().WriteIconLines(text, symbol_slots, folder);

  bool all_written = true;
  for (COstrelObject* object : list) {
    if (object->IsExportable()) all_written &= object->WriteText(text);
  }

  const std::string bytes = ToCrLf(vd::os::Utf8ToCp1252(text));
  if (!vd::os::SaveFileAtomically(path, bytes)) {
    SetError(error, "Failed to open export file: " + path);
    return false;
  }
  return all_written;
}

ExchangeRead ReadTextFile(const std::string& path, ObjectList& list,
                          const ObjectList* document_list, const ProgressFn& progress) {
  ExchangeRead result;
  // Reading, converting and the lines: three phases of the progress.
  std::string text;
  if (!ReadFileText(path, text, progress, 3, result.cancelled)) {
    if (!result.cancelled) result.error = "Failed to open import file: " + path;
    return result;
  }
  SetCurrentOverlayFolderFromPath(path);
  const std::string folder = CurrentOverlayFolder();

  ObjectList import_marks;  // newest first: a route's own marks come right before it
  COstrelObject* container = nullptr;
  std::vector<CObjTrack*> tracks;

  ReadProblems problems;
  ProgressSteps steps(ProgressShare(progress, 2, 3), static_cast<int64_t>(text.size()));
  DeclaredPoints declared;
  size_t pos = 0;
  size_t line_number = 0;
  while (pos < text.size()) {
    if (!steps(static_cast<int64_t>(pos))) {
      result.cancelled = true;
      return result;
    }
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;

    if (line == kTrainerHeader) {
      auto* track = new CObjTrack;
      track->AddRef();
      list.push_back(track);
      ++result.count;
      std::istringstream rest(pos < text.size() ? text.substr(pos) : std::string());
      track->ReadTrainerFile(rest);
      break;
    }
    const std::string_view tag = line.substr(0, 2);
    if (COstrelObject* object = NewObjectFor(tag)) {
      object->AddRef();
      list.push_back(object);
      auto* route = dynamic_cast<CObjRoute*>(object);
      const bool read = route ? route->ReadTextFrom(line, &import_marks, document_list)
                              : object->ReadText(line);
      if (!read) {
        list.pop_back();
        object->Release();
        problems.Add(LineText(line_number, line,
                              tag == "WP" ? "a mark without a valid position" : "not read"));
        // The points that follow belong to no record.
        container = nullptr;
        continue;
      }
      ++result.count;
      CheckRecord(*object, line_number, problems);
      if (auto* mark = dynamic_cast<CObjWaypoint*>(object)) {
        import_marks.push_front(mark);
      } else if (auto* track = dynamic_cast<CObjTrack*>(object)) {
        tracks.push_back(track);
        container = track;
      } else if (route) {
        container = route;
      }
      if (object == container) {
        declared.Check(problems);
        declared = {container, line_number, DeclaredPointCount(line)};
      }
    } else if (tag == "TP" || tag == "RP") {
      bool read = false;
      const char* what = "a point with no track or route before it";
      if (auto* route = dynamic_cast<CObjRoute*>(container)) {
        read = tag == "RP" && route->ReadTextFrom(line, &import_marks, document_list);
        what = tag == "RP" ? "a route point naming no mark read before it"
                           : "a track point inside a route";
      } else if (container) {
        read = tag == "TP" && container->ReadText(line);
        what = tag == "TP" ? "a track point without a valid position"
                           : "a route point inside a track";
      }
      if (!read) problems.Add(LineText(line_number, line, what));
    } else if (tag == "IC") {
      CIconLibrary::Get().ReadIconLine(line, folder);
    } else {
      problems.Add(LineText(line_number, line, "not a record of this file"));
    }
  }
  // A stop asked for while the last line was taken apart (a long one) still counts.
  if (!steps(static_cast<int64_t>(text.size()))) {
    result.cancelled = true;
    return result;
  }
  declared.Check(problems);
  for (CObjTrack* track : tracks) track->RecomputeTotals();
  if (!problems.empty()) {
    result.error = problems.Text((result.count > 0 ? "Not all of " : "Nothing could be read from ") +
                                path + (result.count > 0 ? " could be read:" : ":"));
  } else if (result.count == 0) {
    result.error = "No objects found in " + path;
  }
  return result;
}

int ImportTextFile(const std::string& path, COstrelDocBase& document, std::string* error,
                   const ProgressFn& progress, bool* cancelled) {
  if (!vd::os::FileExists(path) || vd::os::IsDirectory(path)) {
    SetError(error, "Failed to open import file: " + path);
    return 0;
  }
  ObjectList* document_list = document.GetObjectList();
  CCurrentOwnerScope owner(&document);
  CImportUndoStep step;
  ObjectList read;
  const ExchangeRead result = ReadTextFile(path, read, document_list, progress);
  if (cancelled) *cancelled = result.cancelled;
  if (result.cancelled) {
    for (COstrelObject* object : read) object->Release();
    return 0;
  }
  step.Save();
  if (!result.error.empty()) SetError(error, result.error);
  if (document_list) {
    document_list->splice(document_list->end(), read);
  } else {
    for (COstrelObject* object : read) object->Release();
  }
  document.UpdateAllViews(nullptr, kChangeAdded, nullptr);
  return result.count;
}
