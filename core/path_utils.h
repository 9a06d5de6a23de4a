#pragma once
// Splitting and rebuilding path texts. Paths read from stored files may use '\', so both '/' and
// '\' separate folders here. A drive prefix ("C:") counts as a separator only in its own
// place, a letter and ':' starting the text: a ':' elsewhere is part of a Linux file name.
#include <string>
#include <string_view>

// The text before the last separator; "." when there is none ("C:file" gives "C").
std::string GetPathDirectory(std::string_view path);
// The text after the last separator, the whole path when there is none.
std::string GetPathFileName(std::string_view path);
// The file name without its extension.
std::string GetPathTitle(std::string_view path);
// The text after the last '.' of the file name, "" when the name has none.
std::string GetPathExtension(std::string_view path);
// The path up to and including the last '.' of its file name, then `ext`; a name without a '.'
// gets "." + ext ("a.b/c" with "txt" gives "a.b/c.txt").
std::string ReplacePathExtension(std::string_view path, std::string_view ext);
inline std::string ReplaceExtension(std::string_view path, std::string_view ext) {
  return ReplacePathExtension(path, ext);
}
// The path without its extension, then `ext` with a '.' put before it unless it has one.
std::string ChangeFileExtension(std::string_view path, std::string_view ext);
// True when the path ends in "." + ext, without regard to case.
bool PathHasExtension(std::string_view path, std::string_view ext);

// The same splits under the names the application code uses.
inline std::string GetFolderOfPath(std::string_view path) { return GetPathDirectory(path); }
inline std::string GetFileTitleOfPath(std::string_view path) { return GetPathTitle(path); }
inline std::string GetExtensionOfPath(std::string_view path) { return GetPathExtension(path); }
// The path cut before the last '.' of its file name (a '.' that starts the path does not count),
// then `ext`, which brings its own dot (".qed").
std::string ReplaceFileExtension(std::string_view path, std::string_view ext);

// The path without a leading `prefix` (compared without regard to ASCII case), else the path.
std::string StripPathPrefix(std::string_view path, std::string_view prefix);
// True for a non-empty path without "://", without a drive prefix and not starting with '/' or
// '\'.
bool IsRelativePath(std::string_view path);
// A file name made of the first 50 characters of `name`: blanks become '_', and only ASCII
// letters, digits, '-' and '_' are kept.
std::string MakeSafeFileName(std::string_view name);
