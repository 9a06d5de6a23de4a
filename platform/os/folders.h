#pragma once
// The folders the programs work in. Each call reads the environment afresh (through GetEnv), so
// a change made with SetEnv shows at once. Results carry no trailing '/'.
#include <string>

namespace vd::os {

std::string HomeFolder();        // $HOME, else the password database's entry, else "/"
std::string ProgramFolder();     // folder of the running executable
std::string DocumentsFolder();   // the desktop's documents folder when it names an existing
                                 // folder other than home, else HomeFolder() + "/Documents"
std::string SystemTempFolder();  // $TMPDIR, else /tmp
std::string TempFolder();        // SystemTempFolder() + "/Vardune", created
std::string ConfigFolder();      // $XDG_CONFIG_HOME, else HomeFolder() + "/.config"
// $XDG_RUNTIME_DIR, else SystemTempFolder() + "/vardune-runtime-<uid>", created with mode 0700.
// That name in a shared temporary folder could have been made by someone else: when it is not
// a real folder owned by this user, HomeFolder() + "/.cache/vardune-runtime" (0700) is used.
std::string RuntimeFolder();

}  // namespace vd::os
