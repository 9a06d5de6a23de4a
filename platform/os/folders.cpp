#include "platform/os/folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/os/environment.h"
#include "platform/os/files.h"

namespace vd::os {

namespace {

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The variable's value when it is an absolute path; relative values are ignored, as the XDG
// base directory rules require.
std::optional<std::string> AbsolutePathFromEnv(const std::string& name) {
  auto value = GetEnv(name);
  if (!value || value->empty() || (*value)[0] != '/') return std::nullopt;
  return WithoutTrailingSlashes(*value);
}

// The value of `XDG_DOCUMENTS_DIR=...` in user-dirs.dirs. The file is meant to be sourced by a
// shell but holds only `NAME="$HOME/rel"` or `NAME="/abs"` lines, with '\' escaping the next
// character; the last assignment wins.
std::optional<std::string> DocumentsFromUserDirs(const std::string& home) {
  std::string text;
  if (!ReadWholeFile(ConfigFolder() + "/user-dirs.dirs", text)) return std::nullopt;
  constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
  std::optional<std::string> found;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.substr(0, kKey.size()) != kKey) continue;
    line.remove_prefix(kKey.size());
    std::string value;
    if (!line.empty() && line.front() == '"') {
      for (size_t i = 1; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value += line[i];
      }
    } else {
      value = std::string(line.substr(0, line.find_first_of(" \t#")));
    }
    constexpr std::string_view kHome = "$HOME";
    if (value.compare(0, kHome.size(), kHome) == 0 &&
        (value.size() == kHome.size() || value[kHome.size()] == '/')) {
      value = home + value.substr(kHome.size());
    }
    if (!value.empty() && value[0] == '/') found = WithoutTrailingSlashes(value);
  }
  return found;
}

// Creates `path` (mode 0700) unless it exists; true when it is a real folder of this user that
// nobody else can enter.
bool MakePrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    return false;
  }
  return (st.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

// HomeFolder() + sub, without a doubled '/' when home is the root.
std::string UnderHome(std::string_view sub) {
  std::string home = HomeFolder();
  if (home == "/") home.clear();
  return home.append(sub);
}

}  // namespace

std::string HomeFolder() {
  if (auto home = AbsolutePathFromEnv("HOME")) return *home;
  struct passwd pw;
  struct passwd* result = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result &&
      result->pw_dir && result->pw_dir[0] == '/') {
    return WithoutTrailingSlashes(result->pw_dir);
  }
  return "/";
}

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return ".";
    if (static_cast<size_t>(n) < buffer.size()) {
      std::string exe(buffer.data(), static_cast<size_t>(n));
      size_t slash = exe.rfind('/');
      return slash == 0 || slash == std::string::npos ? "/" : exe.substr(0, slash);
    }
    buffer.resize(buffer.size() * 2);  // the link may have been cut short
  }
}

std::string DocumentsFolder() {
  const std::string home = HomeFolder();
  std::optional<std::string> documents = DocumentsFromUserDirs(home);
  if (!documents) documents = AbsolutePathFromEnv("XDG_DOCUMENTS_DIR");
  if (documents && *documents != home && IsDirectory(*documents)) return *documents;
  return UnderHome("/Documents");
}

std::string SystemTempFolder() {
  return AbsolutePathFromEnv("TMPDIR").value_or("/tmp");
}

std::string TempFolder() {
  std::string folder;
  if (auto runtime = AbsolutePathFromEnv("XDG_RUNTIME_DIR"); runtime && IsDirectory(*runtime)) {
    folder = *runtime + "/Vardune";
  } else {
    const std::string cache = AbsolutePathFromEnv("XDG_CACHE_HOME").value_or(UnderHome("/.cache"));
    MakeFolders(cache + "/Vardune");
    folder = cache + "/Vardune/temp";
  }
  ::mkdir(folder.c_str(), 0700);  // an existing one is judged, never changed
  return folder;
}

std::string PrivateFolderProblem(const std::string& folder) {
  const std::string named = "The folder for temporary files " + folder;
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0) {
    return named + " cannot be made: " + std::strerror(errno) + ".";
  }
  if (!S_ISDIR(st.st_mode)) {
    return named + " is not a folder" + (S_ISLNK(st.st_mode) ? " but a link" : "") +
           ". Remove it, so that a private folder can be made there.";
  }
  if (st.st_uid != ::geteuid()) {
    return named + " belongs to another user. Remove it, so that a private folder can be made "
                   "there.";
  }
  if ((st.st_mode & 077) != 0) {
    return named + " can be entered by other users. Make it private to you (chmod 700) or "
                   "remove it.";
  }
  return "";
}

std::string TempFolderProblem() { return PrivateFolderProblem(TempFolder()); }

std::string ConfigFolder() {
  if (auto config = AbsolutePathFromEnv("XDG_CONFIG_HOME")) return *config;
  return UnderHome("/.config");
}

std::string RuntimeFolder() {
  if (auto runtime = AbsolutePathFromEnv("XDG_RUNTIME_DIR")) return *runtime;
  std::string folder = SystemTempFolder() + "/vardune-runtime-" + std::to_string(::geteuid());
  if (MakePrivateFolder(folder)) return folder;
  MakeFolders(UnderHome("/.cache"));
  folder = UnderHome("/.cache/vardune-runtime");
  MakePrivateFolder(folder);
  return folder;
}

}  // namespace vd::os
