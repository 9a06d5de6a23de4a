#pragma once
// The program's string table: texts looked up by their resource id. The program installs its
// table at start-up; the texts are UTF-8.
#include <map>
#include <string>

// Replaces the string table (an empty one removes it). User-interface thread only.
void SetResStringTable(std::map<int, std::string> table);
// The text of string resource `id`; "" when the table has no such string.
std::string LoadResString(int id);
