#pragma once
// Builders of place-name index files (see old_geo_name_database.h) from text place lists. Each
// reads the list twice: first the categories, in order of first appearance, then the places.
// Lines beginning with "!" are comments. A list in UTF-8 is stored in Windows-1252 (characters
// it lacks become '?'); any other list is taken as Windows-1252 already. Lines are read up to
// kMaxPlaceLine bytes; the rest of a longer line is ignored.
//
// Both return 0, or -1 after an error message through the chart readers' show_error service:
// "Failed to open input file", "Failed to open output file" (also when the output is the
// input), or a format error of the comma list. The output is replaced only when the build
// succeeded.
#include <cstddef>
#include <string>

inline constexpr size_t kMaxPlaceLine = 5000;

// Tab-separated fields: name, category, region, two ignored fields, latitude, longitude.
// Lines without a name are skipped. A region of two characters (or two before a comma) is
// appended to the name as ", XX". A missing or unreadable latitude or longitude is stored as 0.
int BuildGeoNameDatabaseTab(const std::string& input_path, const std::string& output_path);

// Comma-separated fields (tabs and '|' also separate; double-quoted fields allowed): name,
// category (empty: "none"), latitude, longitude. Lines without a name are skipped; a line with
// a name but no category or longitude, or whose latitude or longitude is not a number, stops
// the build with "Bad format index file: line <n> (<line>)".
int BuildGeoNameDatabaseCsv(const std::string& input_path, const std::string& output_path);
