#include "charts/converter_plugins.h"

#include <cerrno>
#include <array>
#include <mutex>

#include "charts/chart_reader_services.h"
#include "charts/jpr_calibration.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/string_utils.h"
#include "platform/os/environment.h"
#include "platform/os/numbers.h"
#include "platform/os/plugin.h"

namespace {

using ConvertEntry = int (*)(const char* source, const char* target, int interactive,
                             int reserved);
using SetParentEntry = void (*)(ConverterWindow parent);

class DynamicLibrary : public ConverterLibrary {
 public:
  explicit DynamicLibrary(vd::os::Plugin plugin) : plugin_(std::move(plugin)) {}
  void* Symbol(const std::string& name) override { return plugin_.Symbol(name); }

 private:
  vd::os::Plugin plugin_;
};

class DynamicLoader : public ConverterLibraryLoader {
 public:
  std::unique_ptr<ConverterLibrary> Load(const std::string& name, int& error) override {
    vd::os::Plugin plugin;
    errno = 0;
    if (!plugin.Load(name)) {
      error = errno;
      return nullptr;
    }
    return std::make_unique<DynamicLibrary>(std::move(plugin));
  }
};

struct Slot {
  enum State { kNotLoaded, kLoaded, kFailed } state = kNotLoaded;
  std::unique_ptr<ConverterLibrary> library;
};

// The process-wide slots, and the loader that fills them.
struct Slots {
  std::mutex mutex;
  std::array<Slot, size_t(ConverterSlot::kCount)> slots;
  std::unique_ptr<ConverterLibraryLoader> loader = std::make_unique<DynamicLoader>();
};

Slots& AllSlots() {
  static Slots slots;
  return slots;
}

void ShowError(const std::string& text) {
  const ChartReaderServices services = GetChartReaderServices();
  if (services.show_error) services.show_error(text);
}

bool EndsWithNoCase(const std::string& text, std::string_view ending) {
  return text.size() >= ending.size() &&
         EqualsNoCase(std::string_view(text).substr(text.size() - ending.size()), ending);
}

}  // namespace

ConverterSlot CConverterPlugins::SlotFor(const std::string& source) {
  if (EndsWithNoCase(source, "TIF")) return ConverterSlot::kTiff;
  if (EndsWithNoCase(source, "NOS")) return ConverterSlot::kNos;
  if (EndsWithNoCase(source, "PNG")) return ConverterSlot::kJpr;
  if (EndsWithNoCase(source, "JGW")) return ConverterSlot::kJpeg;
  return ConverterSlot::kKap;
}

const char* CConverterPlugins::LibraryName(ConverterSlot slot) {
  switch (slot) {
    case ConverterSlot::kTiff: return "libvd_tiff_converter.so";
    case ConverterSlot::kNos: return "libvd_nos_converter.so";
    case ConverterSlot::kJpr: return "libvd_jpr_converter.so";
    case ConverterSlot::kJpeg: return "libvd_jpeg_converter.so";
    default: return "libvd_kap_converter.so";
  }
}

void CConverterPlugins::SetLibraryLoader(std::unique_ptr<ConverterLibraryLoader> loader) {
  Slots& all = AllSlots();
  std::lock_guard lock(all.mutex);
  all.loader = loader ? std::move(loader) : std::make_unique<DynamicLoader>();
  for (Slot& slot : all.slots) slot = Slot();
}

bool CConverterPlugins::Load(ConverterSlot which) {
  Slots& all = AllSlots();
  std::unique_lock lock(all.mutex);
  Slot& slot = all.slots[size_t(which)];
  if (slot.state == Slot::kFailed) return false;
  if (slot.state == Slot::kNotLoaded) {
    int error = 0;
    slot.library = all.loader->Load(LibraryName(which), error);
    if (!slot.library) {
      slot.state = Slot::kFailed;
      lock.unlock();
      ShowError(vd::os::FormatC("Failed to load %s\n\nError: 0x%x", LibraryName(which),
                                unsigned(error)));
      return false;
    }
    slot.state = Slot::kLoaded;
  }
  if (const auto set_parent = reinterpret_cast<SetParentEntry>(
          slot.library->Symbol(kSetParentEntry))) {
    set_parent(parent_);
  }
  return true;
}

void CConverterPlugins::UnloadAll() {
  Slots& all = AllSlots();
  std::lock_guard lock(all.mutex);
  for (Slot& slot : all.slots) {
    if (slot.state != Slot::kLoaded) continue;
    slot.library.reset();
    slot.state = Slot::kNotLoaded;
  }
}

int CConverterPlugins::Convert(const std::string& source, const std::string& target,
                               int interactive, int reserved) {
  const std::optional<std::string> projdat =
      vd::OpenAppProfile().GetString(vd::kSettingsSection, "default_projdat");
  vd::os::SetEnv(kProjDataVariable, projdat.value_or(""));
  if (EndsWithNoCase(source, "QCT")) return CopyFileWithProgress(source, target) ? 0 : -1;

  const ConverterSlot slot = SlotFor(source);
  if (!Load(slot)) return -1;
  ConvertEntry convert;
  {
    Slots& all = AllSlots();
    std::lock_guard lock(all.mutex);
    ConverterLibrary* library = all.slots[size_t(slot)].library.get();
    convert = library ? reinterpret_cast<ConvertEntry>(library->Symbol(kConvertEntry)) : nullptr;
  }
  if (!convert) {
    if (slot == ConverterSlot::kJpr) {
      ShowError(std::string("Failed to find the entry ") + kConvertEntry + " in " +
                LibraryName(slot));
    }
    return -1;
  }
  const int result = convert(source.c_str(), target.c_str(), interactive, reserved);
  if (result == 0 && slot != ConverterSlot::kJpr &&
      IsNotFolder(ReplaceFileExtension(source, ".jpr"))) {
    QctApplyJprCalibration(source, target);
  }
  return result;
}
