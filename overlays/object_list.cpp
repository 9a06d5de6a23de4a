#include "overlays/object_list.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>
#include <vector>

#include "overlays/category.h"

namespace {

constexpr double kNoBound = 10000.0;

struct LonSpan {
  double start;
  double end;
};

// Chooses between the plain box (west..east) and the box that runs across the 180° meridian:
// the box leaves out the widest stretch of longitude that no object covers. On a tie the plain
// box stays.
void ChooseLongitudeBox(std::vector<LonSpan> spans, double& east, double& west) {
  for (LonSpan& span : spans) {
    const double width = std::max(0.0, span.end - span.start);
    if (!(width < 360.0)) return;  // all round the world (or no number): nothing to choose
    double start = std::fmod(span.start + 180.0, 360.0);
    if (start < 0.0) start += 360.0;
    start -= 180.0;
    span = {start, start + width};
  }
  std::sort(spans.begin(), spans.end(),
            [](const LonSpan& a, const LonSpan& b) { return a.start < b.start; });
  double furthest_end = spans.front().end;
  for (const LonSpan& span : spans) furthest_end = std::max(furthest_end, span.end);
  // A span that runs past 180 covers the start of the round too.
  double covered_to = std::max(spans.front().end, furthest_end - 360.0);
  double widest_gap = 0.0;
  double gap_from = 0.0;
  double gap_to = 0.0;
  for (size_t i = 1; i < spans.size(); ++i) {
    const double gap = spans[i].start - covered_to;
    if (gap > widest_gap) {
      widest_gap = gap;
      gap_from = covered_to;
      gap_to = spans[i].start;
    }
    covered_to = std::max(covered_to, spans[i].end);
  }
  const double gap_across_meridian = spans.front().start + 360.0 - furthest_end;
  if (widest_gap > gap_across_meridian) {
    west = gap_to;
    east = gap_from + 360.0;
  }
}

bool IsShortNameCharacter(char c, std::string_view allowed) {
  const auto u = static_cast<unsigned char>(c);
  return (u < 0x80 && std::isalnum(u)) || allowed.find(c) != std::string_view::npos;
}

bool IsLowerAscii(char c) { return c >= 'a' && c <= 'z'; }

// Keeps the letters, digits and allowed characters, upper-cased when asked, up to max_length.
// The text is left alone when it already qualifies.
void CleanShortName(std::string& text, size_t max_length, std::string_view allowed, bool upper) {
  const bool qualifies =
      text.size() <= max_length && std::ranges::all_of(text, [&](char c) {
        return IsShortNameCharacter(c, allowed) && !(upper && IsLowerAscii(c));
      });
  if (qualifies) return;
  std::string kept;
  for (const char c : text) {
    if (kept.size() == max_length) break;
    if (!IsShortNameCharacter(c, allowed)) continue;
    kept += upper && IsLowerAscii(c) ? static_cast<char>(c - 'a' + 'A') : c;
  }
  text = std::move(kept);
}

// The decimal digits of number + 1 for a run of digits (any length, leading zeros dropped;
// an empty run counts as 0).
std::string IncrementDigits(std::string_view digits) {
  digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
  std::string result(digits);
  int i = static_cast<int>(result.size()) - 1;
  for (; i >= 0 && result[i] == '9'; --i) result[i] = '0';
  if (i >= 0) {
    ++result[i];
  } else {
    result.insert(result.begin(), '1');
  }
  return result;
}

// The text with its trailing number incremented, the text before the number cut so that the
// whole stays within max_length; a number longer than that keeps its first digits.
std::string IncrementTrailingNumber(const std::string& text, size_t max_length) {
  const size_t digits_at = text.find_last_not_of("0123456789") + 1;  // npos + 1 == 0
  const std::string number = IncrementDigits(std::string_view(text).substr(digits_at));
  if (number.size() >= max_length) return number.substr(0, max_length);
  const size_t kept = std::min(digits_at, max_length - number.size());
  return text.substr(0, kept) + number;
}

}  // namespace

bool GetListBounds(const ObjectList& list, double& north, double& south, double& east,
                   double& west) {
  north = east = -kNoBound;
  south = west = kNoBound;
  std::vector<LonSpan> spans;
  for (const COstrelObject* object : list) {
    double min_lat, max_lat, min_lon, max_lon;
    if (!object->GetBounds(min_lat, max_lat, min_lon, max_lon)) continue;
    north = std::max(north, max_lat);
    south = std::min(south, min_lat);
    east = std::max(east, max_lon);
    west = std::min(west, min_lon);
    spans.push_back({min_lon, max_lon});
  }
  if (north == -kNoBound) return false;
  ChooseLongitudeBox(std::move(spans), east, west);
  return true;
}

int CollectObjectsOfClass(const ObjectList& source, ObjectList& out, bool visible_only,
                          const OverlayClass* cls) {
  const OverlayClass& wanted = cls ? *cls : COstrelObject::kClass;
  const OverlayClass* chart_outline = OverlayClass::Find("COldChartOutline");
  int count = 0;
  for (COstrelObject* object : source) {
    if (!object->IsKindOf(wanted)) continue;
    if (chart_outline && object->IsKindOf(*chart_outline)) continue;
    if (visible_only && !object->visible) continue;
    out.push_back(object);
    ++count;
  }
  return count;
}

int CollectObjectsInCategory(const ObjectList& source, ObjectList& out,
                             const CCategory* category) {
  int count = 0;
  for (COstrelObject* object : source) {
    if (object->category() != category) continue;
    out.push_back(object);
    ++count;
  }
  return count;
}

void DeleteUnnamedObjects(ObjectList& list) {
  std::vector<COstrelObject*> unnamed;
  for (COstrelObject* object : list) {
    if (object->name.empty() || object->name.front() == ':') unnamed.push_back(object);
  }
  for (COstrelObject* object : unnamed) {
    // Held while it leaves both lists, which may be one and the same.
    object->AddRef();
    object->Delete(false);
    list.remove(object);
    object->Release();
  }
}

void MakeUniqueObjectName(COstrelObject& object, const ObjectList& list, size_t max_length,
                          std::string_view allowed, bool upper) {
  UniqueNameIndex(list).MakeUnique(object, max_length, allowed, upper);
}

UniqueNameIndex::UniqueNameIndex(const ObjectList& list) {
  names_.reserve(list.size());
  counted_as_.reserve(list.size());
  for (const COstrelObject* object : list) Add(*object);
}

void UniqueNameIndex::Add(const COstrelObject& object) {
  if (!object.visible || counted_as_.contains(&object)) return;
  counted_as_.emplace(&object, &Count(object.short_name));
}

void UniqueNameIndex::MakeUnique(COstrelObject& object, size_t max_length,
                                 std::string_view allowed, bool upper) {
  if (object.short_name.empty()) object.short_name = object.name;
  const std::string before = object.short_name;
  std::string wanted = before;
  CleanShortName(wanted, max_length, allowed, upper);

  const auto counted = counted_as_.find(&object);
  const bool in_list = counted != counted_as_.end();
  object.short_name = FirstFree(wanted, in_list ? counted->second : nullptr, max_length);
  if (in_list && counted->second->first != object.short_name) {
    Names::value_type& now = Count(object.short_name);
    Uncount(*std::exchange(counted->second, &now));
  }
  if (object.short_name != before) object.NotifyChange(kChangeModified);
}

UniqueNameIndex::Names::value_type& UniqueNameIndex::Count(const std::string& short_name) {
  Names::value_type& entry = *names_.try_emplace(short_name).first;
  if (entry.second.count++ == 0) ++held_names_;
  return entry;
}

void UniqueNameIndex::Uncount(Names::value_type& entry) {
  if (--entry.second.count > 0) return;
  --held_names_;
  // Every name a shortcut passes over has a shortcut of the same generation itself.
  if (entry.second.shortcut_generation == generation_) ++generation_;
}

std::string UniqueNameIndex::FirstFree(const std::string& start, const Names::value_type* own,
                                       size_t max_length) {
  // The object's own name only ever comes up as the start: the increments of a name that
  // passes the rules pass them too, and a name that passes them is its own start.
  const auto held = [&](const Names::value_type* entry) {
    return entry && entry->second.count > (entry == own ? 1 : 0);
  };
  const auto find = [&](const std::string& name) -> Names::value_type* {
    const auto entry = names_.find(name);
    return entry == names_.end() ? nullptr : &*entry;
  };
  Names::value_type* entry = find(start);
  if (!held(entry)) return start;
  passed_.clear();
  std::string next;
  while (held(entry)) {
    // More steps than held names: the increments came round within the length ("9" -> "10"
    // -> "1" at length 1) and every name is held, so the clash has to stay.
    if (passed_.size() > held_names_) return start;
    passed_.push_back(entry);
    const Name& name = entry->second;
    if (name.shortcut_generation == generation_ && name.shortcut_length == max_length) {
      entry = name.shortcut;
    } else {
      next = IncrementTrailingNumber(entry->first, max_length);
      entry = find(next);
    }
  }
  Names::value_type& free = entry ? *entry : *names_.try_emplace(std::move(next)).first;
  for (Names::value_type* from : passed_) {
    from->second.shortcut = &free;
    from->second.shortcut_length = max_length;
    from->second.shortcut_generation = generation_;
  }
  return free.first;
}

void ShowExtentInView(COstrelObject& object) {
  double min_lat = 0, max_lat = 0, min_lon = 0, max_lon = 0;
  if (!object.document() || !object.GetBounds(min_lat, max_lat, min_lon, max_lon)) return;
  const CLatLon centre((min_lat + max_lat) / 2, (min_lon + max_lon) / 2);
  const double scale = CLatLon(min_lat, min_lon).DistanceTo(centre) * 0.0002;
  object.document()->OpenBestChartAt(centre.lat, centre.lon, scale, 16.0, 1);
}
