#include "charts/converter_plugins.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "charts/chart_reader_services.h"
#include "charts/jpr_calibration.h"
#include "core/file_utils.h"
#include "core/path_utils.h"
#include "core/persistent_value.h"
#include "core/string_utils.h"
#include "platform/os/environment.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/numbers.h"
#include "platform/os/plugin.h"
#include "platform/os/process.h"

namespace {

constexpr char kHelperName[] = "vd_chart_convert";

using ConvertEntry = int (*)(const char* source, const char* target, int interactive,
                             int reserved);
using SetParentEntry = void (*)(ConverterWindow parent);

// Makes the call in the helper process and reads its report (see tools/chart_convert.cpp).
ConverterRun RunInHelper(const std::string& library, const std::string& source,
                         const std::string& target, int interactive, int reserved,
                         ConverterWindow parent) {
  ConverterRun run;
  run.returned = false;
  std::string report = vd::os::TempFolder() + "/convertXXXXXX";
  const int fd = ::mkstemp(report.data());
  if (fd < 0) {
    run.failure = "no report file could be made in " + vd::os::TempFolder();
    return run;
  }
  ::close(fd);
  const vd::os::SpawnResult spawned = vd::os::Spawn(
      ConverterHelperPath(),
      {library, source, target, std::to_string(interactive), std::to_string(reserved),
       std::to_string(parent), report},
      true);
  std::string line;
  vd::os::ReadWholeFile(report, line);
  vd::os::RemoveFile(report);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();

  int64_t result = 0;
  size_t used = 0;
  if (line.starts_with("converted ") && vd::os::ParseInt64(line.substr(10), result, 10, &used) &&
      used == line.size() - 10 && result >= INT32_MIN && result <= INT32_MAX) {
    run.returned = true;
    run.result = static_cast<int>(result);
  } else if (!spawned.started) {
    run.failure = spawned.error;
  } else if (line.starts_with("not-loaded ")) {
    run.failure = "it did not load in the converter process (" + line.substr(11) + ")";
  } else if (line == "no-entry") {
    run.failure = "it has no conversion entry";
  } else if (spawned.signal != 0) {
    const char* name = ::strsignal(spawned.signal);
    run.failure = vd::os::FormatC("it crashed (signal %d, %s)", spawned.signal,
                                  name ? name : "unknown");
  } else {
    run.failure = vd::os::FormatC("it ended without finishing (exit code %d)", spawned.exit_code);
  }
  return run;
}

// A plug-in found on disk. It is loaded here to learn that it loads; its conversions run in the
// helper process, which loads the same file.
class DynamicLibrary : public ConverterLibrary {
 public:
  DynamicLibrary(vd::os::Plugin plugin, const std::string& name)
      : plugin_(std::move(plugin)), path_(plugin_.Path()) {
    if (path_.empty()) path_ = name;
  }
  void* Symbol(const std::string& name) override { return plugin_.Symbol(name); }
  // The helper hands the parent over before each conversion.
  void SetParent(ConverterWindow) override {}
  ConverterRun Run(const std::string& source, const std::string& target, int interactive,
                   int reserved, ConverterWindow parent) override {
    return RunInHelper(path_, source, target, interactive, reserved, parent);
  }

 private:
  vd::os::Plugin plugin_;
  std::string path_;
};

class DynamicLoader : public ConverterLibraryLoader {
 public:
  std::unique_ptr<ConverterLibrary> Load(const std::string& name, int& error) override {
    return LoadConverterLibrary(name, error);
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

void ConverterLibrary::SetParent(ConverterWindow parent) {
  const auto set_parent =
      reinterpret_cast<SetParentEntry>(Symbol(CConverterPlugins::kSetParentEntry));
  if (set_parent) set_parent(parent);
}

ConverterRun ConverterLibrary::Run(const std::string& source, const std::string& target,
                                   int interactive, int reserved, ConverterWindow) {
  ConverterRun run;
  const auto convert = reinterpret_cast<ConvertEntry>(Symbol(CConverterPlugins::kConvertEntry));
  if (!convert) {
    run.returned = false;
    run.failure = "it has no conversion entry";
    return run;
  }
  run.result = convert(source.c_str(), target.c_str(), interactive, reserved);
  return run;
}

std::unique_ptr<ConverterLibrary> LoadConverterLibrary(const std::string& name, int& error) {
  vd::os::Plugin plugin;
  errno = 0;
  if (!plugin.Load(name)) {
    error = errno;
    return nullptr;
  }
  return std::make_unique<DynamicLibrary>(std::move(plugin), name);
}

std::string ConverterHelperPath() {
  const std::string beside = vd::os::ProgramFolder() + "/" + kHelperName;
  if (::access(beside.c_str(), X_OK) == 0) return beside;
#ifdef VD_CHART_CONVERT_BUILT
  if (::access(VD_CHART_CONVERT_BUILT, X_OK) == 0) return VD_CHART_CONVERT_BUILT;
#endif
  return kHelperName;  // looked for in PATH
}

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
  slot.library->SetParent(parent_);
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
  failure_.clear();
  if (EndsWithNoCase(source, "QCT")) {
    return CopyFileWithProgress(source, target) ? 0 : -1;
  }

  const ConverterSlot slot = SlotFor(source);
  if (!Load(slot)) return -1;
  ConverterLibrary* library;
  bool has_entry;
  {
    Slots& all = AllSlots();
    std::lock_guard lock(all.mutex);
    library = all.slots[size_t(slot)].library.get();
    has_entry = library && library->Symbol(kConvertEntry) != nullptr;
  }
  if (!has_entry) {
    if (slot == ConverterSlot::kJpr) {
      ShowError(std::string("Failed to find the entry ") + kConvertEntry + " in " +
                LibraryName(slot));
    }
    return -1;
  }
  const ConverterRun run = library->Run(source, target, interactive, reserved, parent_);
  if (!run.returned) {
    // Whatever the plug-in left behind is the caller's to clear; the next file is tried.
    ShowError(vd::os::FormatC(
        "Failed to convert %s\n\nThe converter %s stopped before finishing: %s", source.c_str(),
        LibraryName(slot), run.failure.c_str()));
    return -1;
  }
  const int result = run.result;
  // The plug-in's own failure shows nothing of itself: the caller names the file with this.
  if (result != 0) {
    failure_ = vd::os::FormatC("the converter %s could not convert it (error %d)",
                               LibraryName(slot), result);
  }
  if (result == 0 && slot != ConverterSlot::kJpr &&
      IsNotFolder(ReplaceFileExtension(source, ".jpr"))) {
    QctApplyJprCalibration(source, target);
  }
  return result;
}
