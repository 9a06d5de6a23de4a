#pragma once
// The symbols that marks show: one program-wide library of 400 slots.
//
// Slots 0..31 hold the built-in symbols 0..31 ("Dot" .. "Water"), drawn from files in the
// program's icon folder: "<name>.png" (or "<name>@2x.png" on screens scaled above 1.6), an
// optional colour layer "<name>_c.png" beside it, and "<name>_xy.txt" with the hot spot, the
// pixel placed on the mark's position ("x,y", single-size pixels). A symbol without its
// "_xy.txt" has no image.
//
// Slots 32..399 hold custom icons that the user loads from image files or that come inside
// overlay files and text files. A custom icon keeps the bytes of its image file and colour layer
// so that it can travel in the files the program writes. Its symbol number is given by the file
// it came from or, when loaded by the user, is the current time in seconds (raised to the next
// free number when taken), so numbers stay unique per installation and survive in files.
//
// A symbol with a colour layer can be shown in any colour: the layer, recoloured, is drawn over
// the symbol. Coloured images are made on first request and kept until the slot changes or the
// library is cleared.
//
// Marks are reached only through two hooks that the mark class installs, so the library knows
// nothing of them. User-interface thread only.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/shell_services.h"
#include "platform/ui/colour.h"
#include "platform/ui/image.h"

class COverlayArchive;

struct CIconLibraryEntry {
  int32_t number = 0;  // 0: a free slot (but slot 0 holds symbol 0, "Dot")
  int32_t hot_spot_x = 0;
  int32_t hot_spot_y = 0;
  std::string name;  // built-in name, or the custom icon's file title
  // The symbol with its colour layer drawn over it in the layer's own colours; null when it
  // has none.
  std::shared_ptr<const vd::ui::Image> image;
  bool has_colour_layer = false;
  // The image is the double-size file: users double the hot spot.
  bool double_resolution = false;
  // Custom icons: the most saturated opaque colour of the image.
  vd::ui::ColourRef default_colour = 0;
  // Custom icons: the image file and its colour layer file as loaded (the layer's empty when
  // there is none), and the file extension, letters and digits only ("bmp" for older files).
  std::vector<uint8_t> image_bytes;
  std::vector<uint8_t> layer_bytes;
  std::string extension;

  // The decoded base image and colour layer, from which coloured images are made.
  std::optional<vd::ui::Image> base;
  std::optional<vd::ui::Image> layer;

  // A custom icon with stored bytes.
  bool HasImage() const { return !image_bytes.empty() || !layer_bytes.empty(); }
};

class CIconLibrary {
 public:
  static constexpr int kSlotCount = 400;
  static constexpr int kBuiltInCount = 32;
  static constexpr int kLastSlot = kSlotCount - 1;  // taken over when every slot is in use
  // Image files above this size are shown but not stored with the icon.
  static constexpr uint64_t kMaxStoredFileSize = 9'999'999;
  // The built-in symbols in number order; also their file names.
  static const char* const kBuiltInNames[kBuiltInCount];

  // Marks whose symbol slot is `slot` fall back to symbol 0.
  using SlotResetHook = std::function<void(ObjectList& list, int slot)>;
  // Marks whose symbol number is a key of the mapping take the mapped number.
  using RenumberHook =
      std::function<void(ObjectList& list, const std::map<int32_t, int32_t>& mapping)>;

  CIconLibrary();

  // The program-wide library.
  static CIconLibrary& Get();

  // The folder of the built-in symbol files; by default the program folder + "/Icons".
  void SetIconFolder(std::string folder) { icon_folder_ = std::move(folder); }
  // The screen's scale factor; above 1.6 the double-size symbol files are used.
  void SetDisplayScale(float scale) { display_scale_ = scale; }
  void SetMarkHooks(SlotResetHook slot_reset, RenumberHook renumber);

  // Loads the built-in symbols when slot 1 has none (at first use and after Clear).
  void EnsureLoaded();

  // The first slot holding the number; -1 for -1 (a mark showing its linked file's icon);
  // otherwise 0, so an unknown symbol shows "Dot".
  int SlotOf(int32_t number) const;
  // The number of the first symbol whose name begins the given name, without regard to case
  // ("Dots" gives "Dot"); else a name holding "CAMP" gives "Tent", "PARKING" "Car", "TRAIL"
  // "Foot"; else 0.
  int32_t SymbolByName(std::string_view name);
  // The colour of a symbol number where none is stored (ColourRef): blue for "Dot" and "Car",
  // green for "Tent", "First_aid", "Buoy_can" and "Geocache", yellow for "Buoy_round", else red.
  static vd::ui::ColourRef SymbolDefaultColour(int32_t number);
  // The slot's image in a colour: the plain image for a symbol without colour layer, else the
  // layer recoloured and drawn over the symbol. Null for a slot out of range or without image.
  std::shared_ptr<const vd::ui::Image> GetImage(int slot, vd::ui::ColourRef colour);
  // The entry of a slot; null out of range.
  const CIconLibraryEntry* Entry(int slot) const;

  // Loads an image file (with its "_c" layer and "_xy.txt" hot spot beside it) as a custom
  // icon under the number, or under a fresh number when none is given. A number that the icon
  // library holds already is replaced. False, with the library unchanged, when the file is not
  // an image or the number is one custom icons can't have (-1, 0, or a built-in symbol's).
  bool LoadIconFile(const std::string& path, std::optional<int32_t> number = std::nullopt);
  // Removes the icon of the number (after the slot-reset hook has moved its marks to symbol
  // 0). False for a number no slot of its own holds; slot 0 is never removed.
  bool DeleteIcon(int32_t number, ObjectList& list);
  // Every slot emptied, every coloured image dropped.
  void Clear();
  // After an overlay file was read: of entries with the same name (without regard to case) the
  // later ones go, and the renumber hook moves their marks to the first one.
  void MergeDuplicateNames(ObjectList& list);

  // An "IC" line of a tagged text file: "IC<version>,<number>,<file name>", the file name
  // relative to `folder` (the folder of the text file). False when the line is malformed, the
  // name would leave the folder, or the file can't be loaded.
  bool ReadIconLine(std::string_view line, const std::string& folder);
  // For the custom icons (with stored bytes) among the symbol slots, in slot order: appends the line
  // "IC01,<number>,\"<file>.<ext>\"\n" to `out` and writes beside the text file, in `folder`,
  // the image as <file>.<ext>, the colour layer as <file>_c.<ext> and the hot spot as
  // <file>_xy.txt. <file> is a safe file name made from the icon's name, unique within the
  // call. False when a file can't be written.
  bool WriteIconLines(std::string& out, const std::set<int>& symbol_slots, const std::string& folder);

  // The custom-icon block of the overlay archive: version 1, then for each custom icon its
  // number, hot spot, name, image bytes, layer bytes and extension; a number 0 ends it.
  // Reading accepts version 0 (no layers, extension "bmp"), skips icons it can't decode and
  // icons numbered like built-in symbols, and throws the archive's exception on a malformed
  // block.
  void WriteCustomIcons(COverlayArchive& archive) const;
  void ReadCustomIcons(COverlayArchive& archive);

 private:
  struct LoadedIcon;

  void LoadBuiltIn(int slot);
  // Puts a decoded icon under its number: into the slot holding the number, else the first
  // free custom slot, else the last slot.
  void Install(LoadedIcon icon);
  void EmptySlot(int slot);
  bool IsCustomNumber(int32_t number) const;
  int32_t FreshNumber() const;
  std::string BuiltInFolder() const;

  std::vector<CIconLibraryEntry> entries_;
  std::map<std::pair<int, vd::ui::ColourRef>, std::shared_ptr<const vd::ui::Image>> coloured_;
  std::string icon_folder_;
  float display_scale_ = 1.0f;
  SlotResetHook slot_reset_hook_;
  RenumberHook renumber_hook_;
};

// Removes every icon table object (CObjIcons) from the list and releases it.
void RemoveIconObjects(ObjectList& list);
