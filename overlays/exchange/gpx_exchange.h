#pragma once
// The XML exchange files of the overlay objects, told apart by the last three characters of the
// path (any case): "loc" is a LOC file, "tcx" a TCX file (read only), anything else GPX.
//
// Reading refuses a file that is not well-formed XML, naming the line and column of the fault,
// and brings in nothing from it. Writing replaces the file only once all of it is written.
// User-interface thread only (the objects are).
#include <cstdint>
#include <string>

#include "app/shell_services.h"
#include "overlays/exchange/exchange_read.h"

// Reads a GPX, LOC or TCX file; the new objects, each with one reference that the list takes
// over, are appended to list in file order (a route before its points). The count is the
// reader's (only 0 or not matters). On failure nothing is appended and the error is
// "Missing file: <path>", or "Failed to read XML file: <path>" with what was wrong on a second
// line. A name longer than kMaxImportedNameBytes is cut to that length; the objects are kept
// and the error is "Not all of <path> could be read:" with a line for each such name, "line L:
// a name of N bytes; its first K were kept" (L the line its element starts on). A file that reads saves an empty undo step first, so that one undo takes the new
// objects away again. progress, when given, hears how far the reading is and may stop it:
// the result is then cancelled, and list holds what was read so far for the caller to drop.
ExchangeRead ImportXmlTrackFile(const std::string& path, ObjectList& list,
                                const ProgressFn& progress = {});

// Writes the list as LOC or GPX (loc_file.h and gpx_file.h say what goes in). False on failure,
// with "Failed to open XML file: <path>" or "Failed to write XML file: <path>" in error.
// marks_written receives the number of marks of a LOC file.
bool ExportXmlTrackFile(const std::string& path, const ObjectList& list,
                        std::string* error = nullptr, int* marks_written = nullptr);

// ExportXmlTrackFile with its failure shown in an error box: 0 on failure; else for GPX a
// positive number exactly when the list is not empty, for LOC the number of marks written.
int WriteGpxFile(const std::string& path, const ObjectList& list);
// ImportXmlTrackFile with its error shown in an error box; the new objects (one reference
// each) are appended to list. Returns the count, 0 on failure.
int ReadXmlTrackFile(const std::string& path, ObjectList& list);
// Raises time to the latest modified time of the list's objects (times compared unsigned).
void GetLatestModifiedTime(const ObjectList& list, int32_t& time);
