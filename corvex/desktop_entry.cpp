#include "corvex/desktop_entry.h"

std::string DesktopExecFolder(const std::string& folder) {
  std::string out;
  for (char c : folder) {
    switch (c) {
      case '"': out += "\\\\\""; break;  // \" in the argument, its backslash doubled
      case '`': out += "\\\\`"; break;
      case '$': out += "\\\\$"; break;
      case '\\': out += "\\\\\\\\"; break;
      case '%': out += "%%"; break;
      default: out += c;
    }
  }
  return out;
}

std::string FillDesktopEntry(const std::string& entry_template, const std::string& program_folder) {
  static constexpr char kMarker[] = "@PROGRAM_DIR@";
  const std::string folder = DesktopExecFolder(program_folder);
  std::string out;
  size_t from = 0;
  for (size_t at; (at = entry_template.find(kMarker, from)) != std::string::npos;
       from = at + sizeof kMarker - 1) {
    out.append(entry_template, from, at - from);
    out += folder;
  }
  out.append(entry_template, from, std::string::npos);
  return out;
}
