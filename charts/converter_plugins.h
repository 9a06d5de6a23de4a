#pragma once
// Converter plug-ins: shared libraries outside this system that turn foreign raster map formats
// into chart files, one library per source format, picked by the source file's ending and loaded
// on first use. Each library exports
//   int vd_convert_chart(const char* source, const char* target, int interactive, int reserved)
//     0 on success; interactive allows the plug-in its own dialogs;
//   void set_parent(ConverterWindow parent)   (optional) the window to own those dialogs.
// The libraries are held in process-wide slots shared by every CConverterPlugins: a library that
// failed to load is not tried again during the run, so its error is shown once. The program
// loads a library to learn that it loads and has the entry; the conversion itself runs in a
// helper process (vd_chart_convert), so that a plug-in that crashes on a file costs that file
// only: the user is told which file and the work goes on.
#include <cstdint>
#include <memory>
#include <string>

// The handle of a window of the program, as the plug-ins receive it (0: none).
using ConverterWindow = uintptr_t;

// How a conversion call ended.
struct ConverterRun {
  bool returned = true;  // false: the call never returned (the plug-in crashed or gave up)
  int result = 0;        // the entry's result when it returned
  std::string failure;   // how it ended otherwise
};

// A loaded library; what the loader hands the slots.
class ConverterLibrary {
 public:
  virtual ~ConverterLibrary() = default;
  // The address of an exported symbol; null when absent.
  virtual void* Symbol(const std::string& name) = 0;
  // Hands the library the window that owns its dialogs. By default its "set_parent", when
  // exported, is called here.
  virtual void SetParent(ConverterWindow parent);
  // Calls the conversion entry (the caller has found it). By default the call is made in this
  // process; libraries of plug-ins found on disk make it in the helper process.
  virtual ConverterRun Run(const std::string& source, const std::string& target, int interactive,
                           int reserved, ConverterWindow parent);
};

// Loads a plug-in library (a path, or a name searched for as the dynamic loader does) whose
// conversions run in the helper process. Null on failure, with the system's error code in
// `error`.
std::unique_ptr<ConverterLibrary> LoadConverterLibrary(const std::string& name, int& error);

// The helper program that runs conversions: beside the program, else where the build made it.
std::string ConverterHelperPath();

// Loads libraries by name (through the dynamic loader's search path by default).
class ConverterLibraryLoader {
 public:
  virtual ~ConverterLibraryLoader() = default;
  // Null on failure, with the system's error code in `error`.
  virtual std::unique_ptr<ConverterLibrary> Load(const std::string& name, int& error) = 0;
};

enum class ConverterSlot { kKap, kTiff, kNos, kJpr, kJpeg, kCount };

class CConverterPlugins {
 public:
  static constexpr char kConvertEntry[] = "vd_convert_chart";
  static constexpr char kSetParentEntry[] = "set_parent";
  // The environment variable naming the plug-ins' projection data folder (setting
  // "default_projdat").
  static constexpr char kProjDataVariable[] = "VDPROJDAT";

  // Stores the window that owns the plug-ins' dialogs; returns the loader for chaining.
  CConverterPlugins& SetParentWindow(ConverterWindow window) {
    parent_ = window;
    return *this;
  }

  // Converts `source` into a chart file at `target` with the plug-in its ending selects; a chart
  // file (".qct") is copied. After a conversion (not of a ".png") the source's ".jpr"
  // calibration, when one lies beside it, is applied to the new chart. 0 on success; -1 when the
  // plug-in or its entry is missing, the copy failed or the plug-in never returned (then the
  // message names the file); else the plug-in's own nonzero result.
  int Convert(const std::string& source, const std::string& target, int interactive,
              int reserved);
  // Why the last Convert failed when the plug-in returned an error without a word of its own,
  // as the end of a sentence naming the file ("the converter ... could not convert it (error
  // 7)"); "" otherwise (failures that showed their own message included).
  const std::string& failure() const { return failure_; }
  void ClearFailure() { failure_.clear(); }

  // Loads the slot's library when needed and gives it the parent window. False when it can't
  // be loaded: the first failure shows "Failed to load ..." and marks the slot failed; later
  // calls fail without a message.
  bool Load(ConverterSlot slot);
  // Frees every loaded library (at program exit); failed slots stay failed.
  static void UnloadAll();

  // The slot a source path's ending selects (without regard to case).
  static ConverterSlot SlotFor(const std::string& source);
  // The library file name of a slot.
  static const char* LibraryName(ConverterSlot slot);
  // Replaces the library loader and empties every slot, failed ones included (tests; null: the
  // dynamic loader).
  static void SetLibraryLoader(std::unique_ptr<ConverterLibraryLoader> loader);

 private:
  ConverterWindow parent_ = 0;
  std::string failure_;
};
