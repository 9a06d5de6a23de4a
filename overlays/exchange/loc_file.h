#pragma once
// LOC 1.1 files, the geocache lists of marks: each "waypoint" has a "name" whose "id" attribute
// is the cache code, a "coord", a "type" and an optional "link".
//
// User-interface thread only (the objects are).
#include <string>

#include "app/shell_services.h"
#include "core/work_progress.h"

class CXmlNode;

// The document of the list's marks (every mark, route points included). A mark's id is its
// comment when that is 2 to 11 characters long (a cache code), else its short name made unique
// in the list: at most 12 letters and digits, upper case (the mark keeps that short name).
// marks_written receives the number of marks.
std::string MakeLocDocument(const ObjectList& list, int& marks_written);

// Reads the "waypoint" children of a "loc" element that have both "name" and "coord": each
// makes a placed, locked mark with symbol 23, the "id" attribute as its comment, "type" as its
// category and "link" as its link, appended with one reference to list. Returns the number.
// progress hears of each child read; when it asks to stop, the reading ends there (the caller
// drops what was read).
int ReadLoc(const CXmlNode& loc, ObjectList& list, const ProgressFn& progress = {});
