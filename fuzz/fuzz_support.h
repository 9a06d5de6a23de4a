#pragma once
// What the fuzz targets share: a private folder for the files that path-based readers need
// (the input is written there under the name a reader expects), settings and temporary files
// kept inside it, and an application object for the readers that ask for one.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/app_common.h"
#include "platform/os/files.h"

namespace vd::fuzz {

// The folder, made on first use and removed when the process ends. Its name is kept where no
// destructor runs before the exit handler that removes it.
inline const std::string& Folder() {
  static const std::string* const folder = [] {
    char name[] = "/tmp/vdfuzz-XXXXXX";
    if (!mkdtemp(name)) abort();
    auto* made = new std::string(name);
    std::atexit([] {
      const std::string command = "rm -rf '" + Folder() + "'";
      if (std::system(command.c_str()) != 0) {
      }
    });
    return made;
  }();
  return *folder;
}

// Writes the input as Folder() + "/" + name and returns that path.
inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = Folder() + "/" + name;
  vd::os::File file;
  if (!file.Open(path, vd::os::File::Mode::CreateTruncate)) abort();
  if (size > 0 && !file.Write(data, size)) abort();
  return path;
}
inline std::string WriteInput(const std::string& name, std::string_view bytes) {
  return WriteInput(name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

class FuzzApp : public CAppCommon {
 public:
  COstrelDocBase* FindFirstDocument() override { return document; }
  COstrelDocBase* document = nullptr;  // the document readers add objects to, when one is set
};

inline FuzzApp& App() {
  static FuzzApp app;
  return app;
}

// Settings, data and temporary folders inside Folder(), and the application object; call from
// LLVMFuzzerInitialize.
inline void Setup() {
  const std::string& folder = Folder();
  setenv("HOME", folder.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
  setenv("TMPDIR", folder.c_str(), 1);
  FuzzApp& app = App();
  app.temp_folder = folder;
  app.data_folder = folder + "/data";
  vd::os::MakeFolders(app.data_folder);
}

}  // namespace vd::fuzz
