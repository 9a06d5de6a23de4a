#include "platform/os/atomic_file_set.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string_view>

#include "platform/os/files.h"

namespace vd::os {

namespace {

constexpr std::string_view kJournalMagic{"VDSET1\0", 7};
constexpr std::string_view kTempEnding = ".part";
constexpr size_t kRandomDigits = 8;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "." + name + "." : the temporaries of a target are this, eight hex digits and kTempEnding.
std::string TempPrefixOf(const std::string& name) { return "." + name.substr(0, 200) + "."; }

bool IsTempOf(const std::string& entry, const std::string& name) {
  const std::string prefix = TempPrefixOf(name);
  if (entry.size() != prefix.size() + kRandomDigits + kTempEnding.size() ||
      !entry.starts_with(prefix) || !entry.ends_with(kTempEnding)) {
    return false;
  }
  for (size_t i = prefix.size(); i < prefix.size() + kRandomDigits; ++i) {
    const char c = entry[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// A temporary file of a save that wrote one of our temporaries atomically in its turn
// (AtomicFileWriter's naming: "." + the temporary's name + "." + eight hex digits + ".tmp").
bool IsNestedTempOf(const std::string& entry, const std::string& name) {
  constexpr std::string_view kNestedEnding = ".tmp";
  const size_t tail = 1 + kRandomDigits + kNestedEnding.size();
  if (!entry.starts_with('.') || !entry.ends_with(kNestedEnding) || entry.size() < 1 + tail) {
    return false;
  }
  return entry[entry.size() - tail] == '.' && IsTempOf(entry.substr(1, entry.size() - 1 - tail), name);
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool SyncFile(const std::string& path) {
  File file;
  return file.Open(path, File::Mode::Read) && file.Sync();
}

bool SafeName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

}  // namespace

AtomicFileSet::AtomicFileSet(std::vector<std::string> targets) : targets_(std::move(targets)) {}

std::string AtomicFileSet::JournalPath(const std::string& first_target) {
  return FolderOf(first_target) + "/." + NameOf(first_target).substr(0, 200) + ".commit";
}

bool AtomicFileSet::Open() {
  Discard();
  if (targets_.empty()) return false;
  const std::string folder = FolderOf(targets_.front());
  std::random_device seed;
  std::mt19937 random(seed());
  for (const std::string& target : targets_) {
    if (FolderOf(target) != folder || !SafeName(NameOf(target))) {
      Discard();
      return false;
    }
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      char digits[kRandomDigits + 1];
      std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(random()));
      temp = folder + "/" + TempPrefixOf(NameOf(target)) + digits + std::string(kTempEnding);
      fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST && errno != EINTR) break;
    }
    if (fd < 0) {
      Discard();
      return false;
    }
    ::close(fd);
    temps_.push_back(temp);
  }
  return true;
}

bool AtomicFileSet::Commit() {
  if (temps_.size() != targets_.size() || temps_.empty()) return false;
  std::string journal(kJournalMagic);
  for (size_t i = 0; i < temps_.size(); ++i) {
    if (!SyncFile(temps_[i])) {
      Discard();
      return false;
    }
    journal += NameOf(temps_[i]);
    journal += '\0';
    journal += NameOf(targets_[i]);
    journal += '\0';
  }
  const std::string journal_path = JournalPath(targets_.front());
  Step(kBeforeJournal);
  if (!SaveFileAtomically(journal_path, journal)) {
    Discard();
    return false;
  }
  // From here on the new set is the saved one: what is not renamed now, Recover renames.
  bool renamed = true;
  for (size_t i = 0; i < temps_.size(); ++i) {
    Step(kBeforeRename + static_cast<int>(i));
    renamed &= RenameFile(temps_[i], targets_[i]);
  }
  const int last_step = kBeforeRename + static_cast<int>(temps_.size());
  temps_.clear();
  const std::string folder = FolderOf(targets_.front());
  SyncFolder(folder);
  if (!renamed) return false;
  Step(last_step);
  RemoveFile(journal_path);
  SyncFolder(folder);
  return true;
}

void AtomicFileSet::Discard() {
  for (const std::string& temp : temps_) RemoveFile(temp);
  temps_.clear();
}

bool AtomicFileSet::Recover(const std::vector<std::string>& targets) {
  if (targets.empty()) return true;
  const std::string folder = FolderOf(targets.front());
  const std::string journal_path = JournalPath(targets.front());
  bool whole = true;
  std::string journal;
  if (FileExists(journal_path)) {
    if (!ReadWholeFile(journal_path, journal)) return false;
    // Pairs of temporary and target names, each ending in a NUL; only names of this set's
    // own temporaries and targets are taken.
    if (journal.starts_with(kJournalMagic)) {
      std::string_view rest = std::string_view(journal).substr(kJournalMagic.size());
      while (!rest.empty()) {
        const size_t temp_end = rest.find('\0');
        if (temp_end == std::string_view::npos) break;
        const size_t target_end = rest.find('\0', temp_end + 1);
        if (target_end == std::string_view::npos) break;
        const std::string temp(rest.substr(0, temp_end));
        const std::string target(rest.substr(temp_end + 1, target_end - temp_end - 1));
        rest.remove_prefix(target_end + 1);
        const bool ours = std::any_of(targets.begin(), targets.end(), [&](const std::string& t) {
          return NameOf(t) == target;
        });
        if (!ours || !SafeName(temp) || !IsTempOf(temp, target)) continue;
        const std::string temp_path = folder + "/" + temp;
        if (FileExists(temp_path)) whole &= RenameFile(temp_path, folder + "/" + target);
      }
    }
    SyncFolder(folder);
    if (whole) whole = RemoveFile(journal_path);
  }
  if (!whole) return false;
  // Temporaries of saves that died before their commit, and of a journal being written.
  std::vector<DirEntry> entries;
  if (!ListFolder(folder, entries)) return true;
  const std::string journal_temp = "." + NameOf(journal_path) + ".";
  for (const DirEntry& entry : entries) {
    if (!entry.is_dir && entry.name.size() == journal_temp.size() + kRandomDigits + 4 &&
        entry.name.starts_with(journal_temp) && entry.name.ends_with(".tmp")) {
      RemoveFile(folder + "/" + entry.name);
      continue;
    }
    for (const std::string& target : targets) {
      if (!entry.is_dir &&
          (IsTempOf(entry.name, NameOf(target)) || IsNestedTempOf(entry.name, NameOf(target)))) {
        RemoveFile(folder + "/" + entry.name);
      }
    }
  }
  return true;
}

}  // namespace vd::os
