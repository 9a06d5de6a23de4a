#include "overlays/icon_library.h"

#include <algorithm>
#include <limits>

#include "app/app_common.h"
#include "core/path_utils.h"
#include "core/string_utils.h"
#include "core/text_tokenizer.h"
#include "overlays/obj_icons.h"
#include "overlays/overlay_archive.h"
#include "platform/os/clock.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/numbers.h"
#include "platform/ui/geometry.h"
#include "platform/ui/icon_bitmaps.h"

namespace {

constexpr int32_t kFileIcon = -1;  // a mark showing its linked file's icon; no slot of its own
constexpr int32_t kTent = 11;
constexpr int32_t kCar = 3;
constexpr int32_t kFoot = 30;
constexpr float kDoubleSizeScale = 1.6f;
constexpr size_t kMaxExtension = 8;
constexpr uint64_t kMaxHotSpotFile = 256;
constexpr int32_t kBlockVersion = 1;

// The extension as stored: letters and digits only, at most 8 of them; anything else is
// dropped, so a name read from a file can never turn into a path.
std::string SafeExtension(std::string_view ext) {
  if (ext.empty() || ext.size() > kMaxExtension ||
      !std::all_of(ext.begin(), ext.end(), IsAsciiAlnum)) {
    return {};
  }
  return std::string(ext);
}

std::string JoinPath(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  return folder.back() == '/' ? folder + std::string(name) : folder + "/" + std::string(name);
}

// A file name from a text file, relative to that file's folder, as a path below the folder
// ('\' read as '/'); nullopt when it could leave the folder.
std::optional<std::string> RelativeFileName(std::string name) {
  ReplaceCharInString(name, '\\', '/');
  if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  if (name.size() >= 2 && name[1] == ':') return std::nullopt;  // a drive prefix
  for (const std::string& part : SplitString(name, "/")) {
    if (part == "..") return std::nullopt;
  }
  return name;
}

// The "x,y" of a hot-spot file; nullopt when it is missing or holds no such pair.
std::optional<vd::ui::Point> ReadHotSpot(const std::string& path) {
  const std::optional<uint64_t> size = vd::os::FileSize(path);
  std::string text;
  if (!size || *size > kMaxHotSpotFile || !vd::os::ReadWholeFile(path, text)) return std::nullopt;
  int64_t x = 0, y = 0;
  size_t used = 0;
  if (!vd::os::ParseInt64(text, x, 10, &used)) return std::nullopt;
  std::string_view rest = SkipSpaces(std::string_view(text).substr(used));
  if (rest.empty() || rest.front() != ',') return std::nullopt;
  if (!vd::os::ParseInt64(rest.substr(1), y)) return std::nullopt;
  const auto clamp = [](int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                std::numeric_limits<int32_t>::max()));
  };
  return vd::ui::Point{clamp(x), clamp(y)};
}

// The bytes of a file worth storing with an icon: 1 to kMaxStoredFileSize of them.
std::vector<uint8_t> ReadStoredBytes(const std::string& path) {
  const std::optional<uint64_t> size = vd::os::FileSize(path);
  std::string bytes;
  if (!size || *size == 0 || *size > CIconLibrary::kMaxStoredFileSize ||
      !vd::os::ReadWholeFile(path, bytes)) {
    return {};
  }
  return {bytes.begin(), bytes.end()};
}

std::optional<vd::ui::Image> DecodeBytes(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return std::nullopt;
  return vd::ui::DecodeBitmapWithWhiteKey(bytes);
}

std::vector<uint8_t> ReadBlock(COverlayArchive& archive) {
  const int32_t size = archive.ReadInt32();
  if (size < 0 || static_cast<uint64_t>(size) > archive.BytesLeft()) {
    throw COverlayArchiveException(COverlayArchiveException::kBadCount,
                                   "icon image larger than the archive");
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  ReadArchiveExact(archive, bytes.data(), bytes.size());
  return bytes;
}

void WriteBlock(COverlayArchive& archive, const std::vector<uint8_t>& bytes) {
  archive.WriteInt32(static_cast<int32_t>(bytes.size()));
  if (!bytes.empty()) archive.WriteBytes(bytes.data(), bytes.size());
}

bool SaveBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  return vd::os::SaveFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

// A custom icon read and decoded, not yet in a slot.
struct CIconLibrary::LoadedIcon {
  int32_t number = 0;
  std::string name;
  std::optional<vd::ui::Point> hot_spot;  // the image's centre when none
  std::vector<uint8_t> image_bytes;
  std::vector<uint8_t> layer_bytes;
  std::string extension;
  std::optional<vd::ui::Image> base;
  std::optional<vd::ui::Image> layer;
};

const char* const CIconLibrary::kBuiltInNames[kBuiltInCount] = {
    "Dot",      "House",    "Fuel",       "Car",          "Fish",       "Boat",
    "Anchor",   "Wreck",    "Exit",       "Skull",        "Flag",       "Tent",
    "MOB",      "Deer",     "First_aid",  "Trackback",    "TinyDot",    "Triangle",
    "Square",   "Circle",   "Buoy_can",   "Buoy_conical", "Buoy_round", "Geocache",
    "Buoy_cardinal", "Person", "Pin",     "Warning",      "X",          "G_Pin",
    "Foot",     "Water"};

CIconLibrary::CIconLibrary() : entries_(kSlotCount) {}

CIconLibrary& CIconLibrary::Get() {
  static CIconLibrary library;
  return library;
}

void CIconLibrary::SetMarkHooks(SlotResetHook slot_reset, RenumberHook renumber) {
  slot_reset_hook_ = std::move(slot_reset);
  renumber_hook_ = std::move(renumber);
}

std::string CIconLibrary::BuiltInFolder() const {
  if (!icon_folder_.empty()) return icon_folder_;
  const CAppCommon* app = CAppCommon::Instance();
  return (app && !app->program_folder.empty() ? app->program_folder : vd::os::ProgramFolder()) +
         "/Icons";
}

void CIconLibrary::EnsureLoaded() {
  if (entries_[1].number != 0) return;
  for (int slot = 0; slot < kBuiltInCount; ++slot) LoadBuiltIn(slot);
}

void CIconLibrary::LoadBuiltIn(int slot) {
  EmptySlot(slot);
  CIconLibraryEntry& entry = entries_[slot];
  entry.number = slot;
  entry.name = kBuiltInNames[slot];
  const std::string stem = BuiltInFolder() + "/" + entry.name;
  const std::optional<vd::ui::Point> hot_spot = ReadHotSpot(stem + "_xy.txt");
  if (!hot_spot) return;
  entry.hot_spot_x = hot_spot->x;
  entry.hot_spot_y = hot_spot->y;
  for (const bool double_size : {true, false}) {
    if (double_size && display_scale_ <= kDoubleSizeScale) continue;
    const std::string path = stem + (double_size ? "@2x.png" : ".png");
    entry.base = vd::ui::LoadBitmapWithWhiteKey(path);
    entry.layer = vd::ui::LoadBitmapWithWhiteKey(vd::ui::ColourLayerPath(path));
    std::optional<vd::ui::Image> image =
        vd::ui::ComposeIconLayers(entry.base, entry.layer, std::nullopt);
    if (!image) continue;
    entry.image = std::make_shared<const vd::ui::Image>(std::move(*image));
    entry.has_colour_layer = entry.layer.has_value();
    entry.double_resolution = double_size;
    return;
  }
}

int CIconLibrary::SlotOf(int32_t number) const {
  if (number == kFileIcon) return -1;
  // A built-in symbol sits in the slot of its number, and the slots before it hold other
  // built-in numbers.
  if (number >= 0 && number < kBuiltInCount && entries_[number].number == number) return number;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (entries_[slot].number == number) return slot;
  }
  return 0;
}

int32_t CIconLibrary::SymbolByName(std::string_view name) {
  EnsureLoaded();
  for (const CIconLibraryEntry& entry : entries_) {
    if (!entry.name.empty() && entry.name.size() <= name.size() &&
        EqualsNoCase(name.substr(0, entry.name.size()), entry.name)) {
      return entry.number;
    }
  }
  std::string upper(name);
  StringToUpper(upper);
  if (upper.find("CAMP") != std::string::npos) return kTent;
  if (upper.find("PARKING") != std::string::npos) return kCar;
  if (upper.find("TRAIL") != std::string::npos) return kFoot;
  return 0;
}

vd::ui::ColourRef CIconLibrary::SymbolDefaultColour(int32_t number) {
  switch (number) {
    case 0:
    case 3:
      return 0xff0000;
    case 11:
    case 14:
    case 20:
    case 23:
      return 0x00ff00;
    case 22:
      return 0x00ffff;
    default:
      return 0x0000ff;
  }
}

std::shared_ptr<const vd::ui::Image> CIconLibrary::GetImage(int slot, vd::ui::ColourRef colour) {
  EnsureLoaded();
  if (slot < 0 || slot >= kSlotCount) return nullptr;
  const CIconLibraryEntry& entry = entries_[slot];
  if (!entry.image || !entry.has_colour_layer) return entry.image;
  colour &= 0xFFFFFF;
  std::shared_ptr<const vd::ui::Image>& coloured = coloured_[{slot, colour}];
  if (!coloured) {
    std::optional<vd::ui::Image> image = vd::ui::ComposeIconLayers(entry.base, entry.layer, colour);
    if (image) coloured = std::make_shared<const vd::ui::Image>(std::move(*image));
  }
  return coloured;
}

const CIconLibraryEntry* CIconLibrary::Entry(int slot) const {
  return slot >= 0 && slot < kSlotCount ? &entries_[slot] : nullptr;
}

bool CIconLibrary::IsCustomNumber(int32_t number) const {
  return number != kFileIcon && (number < 0 || number >= kBuiltInCount);
}

int32_t CIconLibrary::FreshNumber() const {
  // Two icons loaded within one second would share the time; the later one takes the next
  // number that is free.
  uint32_t number = static_cast<uint32_t>(vd::os::NowSeconds1970());
  while (!IsCustomNumber(static_cast<int32_t>(number)) ||
         SlotOf(static_cast<int32_t>(number)) > 0) {
    ++number;
  }
  return static_cast<int32_t>(number);
}

bool CIconLibrary::LoadIconFile(const std::string& path, std::optional<int32_t> number) {
  EnsureLoaded();
  LoadedIcon icon;
  icon.number = number ? *number : FreshNumber();
  if (!IsCustomNumber(icon.number)) return false;
  const std::string layer_path = vd::ui::ColourLayerPath(path);
  icon.base = vd::ui::LoadBitmapWithWhiteKey(path);
  icon.layer = vd::ui::LoadBitmapWithWhiteKey(layer_path);
  if (!icon.base && !icon.layer) return false;
  icon.name = GetPathTitle(path);
  icon.image_bytes = ReadStoredBytes(path);
  if (icon.layer) icon.layer_bytes = ReadStoredBytes(layer_path);
  icon.extension = SafeExtension(GetPathExtension(path));
  icon.hot_spot = ReadHotSpot(JoinPath(GetPathDirectory(path), icon.name + "_xy.txt"));
  Install(std::move(icon));
  return true;
}

void CIconLibrary::Install(LoadedIcon icon) {
  int slot = SlotOf(icon.number);
  if (slot <= 0) {
    slot = kLastSlot;
    for (int free = kBuiltInCount; free < kSlotCount; ++free) {
      if (entries_[free].number == 0) {
        slot = free;
        break;
      }
    }
  }
  EmptySlot(slot);
  CIconLibraryEntry& entry = entries_[slot];
  std::optional<vd::ui::Image> image = vd::ui::ComposeIconLayers(icon.base, icon.layer, std::nullopt);
  entry.number = icon.number;
  entry.name = std::move(icon.name);
  const vd::ui::Point hot_spot =
      icon.hot_spot.value_or(vd::ui::Point{image->Width() / 2, image->Height() / 2});
  entry.hot_spot_x = hot_spot.x;
  entry.hot_spot_y = hot_spot.y;
  entry.has_colour_layer = icon.layer.has_value();
  entry.default_colour = vd::ui::GetMostSaturatedColour(*image);
  entry.image = std::make_shared<const vd::ui::Image>(std::move(*image));
  entry.image_bytes = std::move(icon.image_bytes);
  entry.layer_bytes = std::move(icon.layer_bytes);
  entry.extension = std::move(icon.extension);
  entry.base = std::move(icon.base);
  entry.layer = std::move(icon.layer);
}

void CIconLibrary::EmptySlot(int slot) {
  entries_[slot] = CIconLibraryEntry{};
  coloured_.erase(coloured_.lower_bound({slot, 0}), coloured_.lower_bound({slot + 1, 0}));
}

bool CIconLibrary::DeleteIcon(int32_t number, ObjectList& list) {
  const int slot = SlotOf(number);
  if (slot <= 0) return false;
  if (slot_reset_hook_) slot_reset_hook_(list, slot);
  EmptySlot(slot);
  return true;
}

void CIconLibrary::Clear() {
  entries_.assign(kSlotCount, CIconLibraryEntry{});
  coloured_.clear();
}

void CIconLibrary::MergeDuplicateNames(ObjectList& list) {
  std::map<std::string, int32_t> first_number;
  std::map<int32_t, int32_t> mapping;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (entries_[slot].name.empty()) continue;
    std::string key = entries_[slot].name;
    StringToUpper(key);
    const auto [first, inserted] = first_number.emplace(key, entries_[slot].number);
    if (inserted) continue;
    mapping[entries_[slot].number] = first->second;
    EmptySlot(slot);
  }
  if (!mapping.empty() && renumber_hook_) renumber_hook_(list, mapping);
}

bool CIconLibrary::ReadIconLine(std::string_view line, const std::string& folder) {
  // "IC<version> , <number>": the number may carry a C prefix (0x.., 0..).
  if (line.substr(0, 2) != "IC") return false;
  int64_t version = 0, number = 0;
  size_t used = 0;
  if (!vd::os::ParseInt64(line.substr(2), version, 10, &used)) return false;
  const std::string_view rest = SkipSpaces(line.substr(2 + used));
  if (rest.empty() || rest.front() != ',') return false;
  if (!vd::os::ParseInt64(rest.substr(1), number, 0) ||
      number < std::numeric_limits<int32_t>::min() ||
      number > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  TextTokenizer tokens(line);
  tokens.NextToken();
  tokens.NextToken();
  const std::optional<std::string> file = tokens.NextToken();
  if (!file) return false;
  const std::optional<std::string> relative = RelativeFileName(*file);
  if (!relative) return false;
  return LoadIconFile(JoinPath(folder, *relative), static_cast<int32_t>(number));
}

bool CIconLibrary::WriteIconLines(std::string& out, const std::set<int>& symbol_slots,
                                  const std::string& folder) {
  bool ok = true;
  std::set<std::string> taken;  // upper-cased, so the files stay apart on any file system
  for (const int slot : symbol_slots) {
    if (slot < 1 || slot >= kSlotCount) continue;
    const CIconLibraryEntry& entry = entries_[slot];
    if (entry.number == 0 || !entry.HasImage()) continue;
    const std::string ext = entry.extension.empty() ? "bmp" : entry.extension;
    std::string file = MakeSafeFileName(entry.name);
    if (file.empty()) file = "icon";
    std::string key = file;
    StringToUpper(key);
    if (!taken.insert(key).second) {
      StringAppendFormat(file, "_%d", entry.number);
      key = file;
      StringToUpper(key);
      taken.insert(key);
    }
    StringAppendFormat(out, "IC01,%d,\"%s.%s\"\n", entry.number, file.c_str(), ext.c_str());
    const std::string stem = JoinPath(folder, file);
    if (!entry.image_bytes.empty()) ok &= SaveBytes(stem + "." + ext, entry.image_bytes);
    if (!entry.layer_bytes.empty()) ok &= SaveBytes(stem + "_c." + ext, entry.layer_bytes);
    std::string hot_spot;
    StringFormat(hot_spot, "%d,%d\n", entry.hot_spot_x, entry.hot_spot_y);
    ok &= vd::os::SaveFileAtomically(stem + "_xy.txt", hot_spot);
  }
  return ok;
}

void CIconLibrary::WriteCustomIcons(COverlayArchive& archive) const {
  archive.WriteInt32(kBlockVersion);
  for (int slot = kBuiltInCount; slot < kSlotCount; ++slot) {
    const CIconLibraryEntry& entry = entries_[slot];
    if (entry.number == 0) continue;
    archive.WriteInt32(entry.number);
    archive.WriteInt32(entry.hot_spot_x);
    archive.WriteInt32(entry.hot_spot_y);
    archive.WriteString(entry.name);
    WriteBlock(archive, entry.image_bytes);
    WriteBlock(archive, entry.layer_bytes);
    archive.WriteString(entry.extension);
  }
  archive.WriteInt32(0);
}

void CIconLibrary::ReadCustomIcons(COverlayArchive& archive) {
  EnsureLoaded();
  const int32_t version = archive.ReadInt32();
  for (int32_t number = archive.ReadInt32(); number != 0; number = archive.ReadInt32()) {
    LoadedIcon icon;
    icon.number = number;
    const int32_t x = archive.ReadInt32();
    const int32_t y = archive.ReadInt32();
    icon.hot_spot = vd::ui::Point{x, y};
    icon.name = archive.ReadString();
    icon.image_bytes = ReadBlock(archive);
    if (version > 0) {
      icon.layer_bytes = ReadBlock(archive);
      icon.extension = SafeExtension(archive.ReadString());
    } else {
      icon.extension = "bmp";
    }
    // Icons numbered like built-in symbols would replace them: their bytes are passed over.
    if (!IsCustomNumber(icon.number)) continue;
    icon.base = DecodeBytes(icon.image_bytes);
    icon.layer = DecodeBytes(icon.layer_bytes);
    if (!icon.base && !icon.layer) continue;
    Install(std::move(icon));
  }
}

void RemoveIconObjects(ObjectList& list) {
  for (auto it = list.begin(); it != list.end();) {
    if ((*it)->IsKindOf(CObjIcons::kClass)) {
      COstrelObject* icons = *it;
      it = list.erase(it);
      icons->Release();
    } else {
      ++it;
    }
  }
}
