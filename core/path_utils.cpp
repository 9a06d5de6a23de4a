#include "core/path_utils.h"

#include "core/string_utils.h"

namespace {

bool HasDrivePrefix(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// Position of the last separator, npos when there is none.
size_t LastSeparator(std::string_view path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string_view::npos && HasDrivePrefix(path)) return 1;
  return slash;
}

// Position of the '.' that starts the extension, npos when the file name has none.
size_t ExtensionDot(std::string_view path) {
  size_t dot = path.rfind('.');
  size_t separator = LastSeparator(path);
  if (dot == std::string_view::npos || (separator != std::string_view::npos && dot < separator)) {
    return std::string_view::npos;
  }
  return dot;
}

std::string_view WithoutExtension(std::string_view path) {
  return path.substr(0, ExtensionDot(path));
}

}  // namespace

std::string GetPathDirectory(std::string_view path) {
  size_t separator = LastSeparator(path);
  return separator == std::string_view::npos ? std::string(".")
                                             : std::string(path.substr(0, separator));
}

std::string GetPathFileName(std::string_view path) {
  size_t separator = LastSeparator(path);
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

std::string GetPathTitle(std::string_view path) { return GetPathFileName(WithoutExtension(path)); }

std::string GetPathExtension(std::string_view path) {
  size_t dot = ExtensionDot(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot + 1));
}

std::string ReplacePathExtension(std::string_view path, std::string_view ext) {
  std::string out(WithoutExtension(path));
  out += '.';
  out += ext;
  return out;
}

std::string ChangeFileExtension(std::string_view path, std::string_view ext) {
  std::string out(WithoutExtension(path));
  if (ext.empty() || ext[0] != '.') out += '.';
  out += ext;
  return out;
}

bool PathHasExtension(std::string_view path, std::string_view ext) {
  if (path.size() < ext.size() + 1 || path[path.size() - ext.size() - 1] != '.') return false;
  return EqualsNoCase(path.substr(path.size() - ext.size()), ext);
}

std::string ReplaceFileExtension(std::string_view path, std::string_view ext) {
  size_t dot = ExtensionDot(path);
  std::string out(dot == 0 ? path : path.substr(0, dot));
  out += ext;
  return out;
}

std::string StripPathPrefix(std::string_view path, std::string_view prefix) {
  if (EqualsNoCase(path.substr(0, prefix.size()), prefix))
    return std::string(path.substr(prefix.size()));
  return std::string(path);
}

bool IsRelativePath(std::string_view path) {
  return !path.empty() && path.find("://") == std::string_view::npos && !HasDrivePrefix(path) &&
         path[0] != '/' && path[0] != '\\';
}

std::string MakeSafeFileName(std::string_view name) {
  constexpr size_t kMaxLength = 50;
  std::string out;
  for (char c : name.substr(0, kMaxLength)) {
    if (c == ' ') c = '_';
    if (IsAsciiAlnum(c) || c == '-' || c == '_') out += c;
  }
  return out;
}
