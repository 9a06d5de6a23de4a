#include "corvex/menu_resource.h"

#include <charconv>
#include <sstream>

#include "platform/os/files.h"

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Splits "word rest of line" at the first blank.
std::pair<std::string, std::string> FirstWord(const std::string& line) {
  const auto blank = line.find_first_of(" \t");
  if (blank == std::string::npos) return {line, ""};
  return {line.substr(0, blank), Trim(line.substr(blank))};
}

bool ParseId(const std::string& text, int& id, std::string& rest) {
  auto [word, tail] = FirstWord(text);
  auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), id);
  rest = tail;
  return ec == std::errc() && end == word.data() + word.size() && id > 0;
}

}  // namespace

std::optional<std::vector<CMenuResource>> ParseMenuResources(const std::string& text,
                                                             std::string& error) {
  std::vector<CMenuResource> blocks;
  std::vector<std::vector<CMenuEntry>*> open;  // innermost last; empty outside a block
  std::istringstream in(text);
  std::string raw;
  int line_number = 0;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(line_number) + ": " + why;
    return std::nullopt;
  };
  while (std::getline(in, raw)) {
    ++line_number;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    auto [word, rest] = FirstWord(line);
    if (open.empty()) {
      if (word != "menu" && word != "toolbar") return fail("expected menu or toolbar");
      CMenuResource block;
      block.is_toolbar = word == "toolbar";
      if (!ParseId(rest, block.id, block.name)) return fail("bad id");
      blocks.push_back(std::move(block));
      open.push_back(&blocks.back().entries);
    } else if (word == "end") {
      open.pop_back();
    } else if (word == "-") {
      open.back()->push_back({CMenuEntry::kSeparator, 0, "", {}});
    } else if (word == "item") {
      CMenuEntry entry;
      if (!ParseId(rest, entry.id, entry.text)) return fail("bad id");
      open.back()->push_back(std::move(entry));
    } else if (word == "popup") {
      if (rest.empty()) return fail("popup without text");
      open.back()->push_back({CMenuEntry::kPopup, 0, rest, {}});
      open.push_back(&open.back()->back().children);
    } else {
      return fail("unknown entry '" + word + "'");
    }
  }
  if (!open.empty()) return fail("missing end");
  return blocks;
}

std::optional<CMenuResource> LoadMenuResource(const std::string& path, int id) {
  std::string text, error;
  if (!vd::os::ReadWholeFile(path, text)) return std::nullopt;
  auto blocks = ParseMenuResources(text, error);
  if (!blocks) return std::nullopt;
  for (auto& block : *blocks)
    if (block.id == id) return std::move(block);
  return std::nullopt;
}
