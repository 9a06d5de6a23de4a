#pragma once
// Menus and tool bars described in the program's resource files. A file holds any number of
// blocks:
//   menu <id> <name>        a menu bar (or a context menu: its first popup is what shows)
//   toolbar <id> <name>     a tool bar
// Inside a block, one entry a line, indented as you like:
//   popup <text>            a submenu, up to its "end"
//   item <id> <text>        a command ('&' marks the mnemonic)
//   -                       a separator
//   end                     closes the popup or block
// Blank lines and lines starting with '#' are ignored.
#include <optional>
#include <string>
#include <vector>

struct CMenuEntry {
  enum Kind { kItem, kPopup, kSeparator };
  Kind kind = kItem;
  int id = 0;
  std::string text;
  std::vector<CMenuEntry> children;  // kPopup only
};

struct CMenuResource {
  bool is_toolbar = false;
  int id = 0;
  std::string name;
  std::vector<CMenuEntry> entries;
};

// The blocks of a file's text; nullopt and a message naming the line on a syntax error.
std::optional<std::vector<CMenuResource>> ParseMenuResources(const std::string& text,
                                                             std::string& error);
// The block with that id in the file at path; nullopt when the file can't be read or parsed
// or has no such block.
std::optional<CMenuResource> LoadMenuResource(const std::string& path, int id);
