#include "app/res_string.h"

#include <utility>

namespace {

std::map<int, std::string>& Table() {
  static std::map<int, std::string> table;
  return table;
}

}  // namespace

void SetResStringTable(std::map<int, std::string> table) { Table() = std::move(table); }

std::string LoadResString(int id) {
  const auto& table = Table();
  const auto it = table.find(id);
  return it == table.end() ? std::string() : it->second;
}
