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
// The programs' own temporary folder, which only this user may enter: $XDG_RUNTIME_DIR +
// "/Vardune", else the user's cache folder ($XDG_CACHE_HOME, else HomeFolder() + "/.cache") +
// "/Vardune/temp". Made with mode 0700 when missing; an existing one is left as it is, and
// TempFolderProblem tells whether it may be used. Both programs of a user name the same one.
std::string TempFolder();
// "" when `folder` is a real folder (not a link) of this user that nobody else can enter;
// otherwise what is wrong with it, as a sentence for the user.
std::string PrivateFolderProblem(const std::string& folder);
// PrivateFolderProblem(TempFolder()).
std::string TempFolderProblem();
std::string ConfigFolder();      // $XDG_CONFIG_HOME, else HomeFolder() + "/.config"
// $XDG_RUNTIME_DIR, else SystemTempFolder() + "/vardune-runtime-<uid>", created with mode 0700.
// That name in a shared temporary folder could have been made by someone else: when it is not
// a real folder owned by this user, HomeFolder() + "/.cache/vardune-runtime" (0700) is used.
std::string RuntimeFolder();

}  // namespace vd::os
