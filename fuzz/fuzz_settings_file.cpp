// Fuzz target: the settings store's files and the key/value text files: every section and
// value of a settings file is read as every kind, every line of a key/value file parsed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/key_value_file.h"
#include "fuzz/fuzz_support.h"
#include "platform/os/files.h"
#include "platform/os/profile_store.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (data[0] & 1) {
    const std::string path = vd::fuzz::WriteInput("input.txt", data + 1, size - 1);
    CKeyValueFile values;
    values.Load(path);
    (void)values.GetStringOr("name", "");
    return 0;
  }
  vd::os::ProfileStore store("Fuzz\\Settings", vd::fuzz::Folder() + "/store");
  vd::os::MakeFolders(store.file_path().substr(0, store.file_path().rfind('/')));
  vd::fuzz::WriteInput(store.file_path().substr(vd::fuzz::Folder().size() + 1), data + 1,
                       size - 1);
  for (const std::string& section : store.Sections()) {
    for (const std::string& name : store.Names(section)) {
      (void)store.GetString(section, name);
      (void)store.GetInt(section, name);
      (void)store.GetBinary(section, name);
    }
  }
  (void)store.GetString("", "");
  return 0;
}
