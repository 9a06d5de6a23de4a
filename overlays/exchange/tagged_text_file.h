#pragma once
// The tagged text exchange file ("Comma-separated text file (*.csv)"): one record per line, each
// starting with a four-character tag (two letters for the kind, two digits for the version).
// The object classes write and read their own records (COstrelObject::WriteText/ReadText); this
// file adds the file around them: the icon lines first, the order of records, the dispatch of
// lines to new objects and to the route or track they continue, and the trainer files that
// start with "[Timex Trainer Data File]".
//
// On disk the text is Windows-1252 with CR LF line ends; in memory UTF-8. Lines may be of any
// length. Saves replace the target only when the whole file was written.
//
// User-interface thread only (the objects and the icon library are).
#include <string>

#include "app/shell_services.h"
#include "overlays/exchange/exchange_read.h"

inline constexpr char kTextFileFilter[] = "Comma-separated text file (*.csv)";
inline constexpr char kTextFileExtension[] = "csv";

// Writes the exportable objects of the list (IsExportable) after the icon lines of the custom
// symbols its marks use; the icon files go beside the text file. The folder of path becomes
// the current overlay folder. False when the file could not be written (error is then
// "Failed to open export file: " + path) or when an object wrote no records of its own (a
// mark still being placed); the file is written all the same in the second case.
bool ExportTextFile(const std::string& path, const ObjectList& list, std::string* error = nullptr);

// Appends the objects of the file to list, each with one reference, in the file's order; the
// folder of path becomes the current overlay folder. An "RP" line links the last mark read
// before it whose short name matches, else the first such mark of document_list (may be null).
// A mark line without a valid position makes no object. Tracks have their totals computed. The
// count includes a trainer file's track. progress, when given, hears how far the reading is and
// may stop it: the result is then cancelled, list holding what was read so far.
ExchangeRead ReadTextFile(const std::string& path, ObjectList& list,
                          const ObjectList* document_list, const ProgressFn& progress = {});

// ReadTextFile into the document: an empty undo step first, the objects made as the document's
// (CCurrentOwnerScope), appended to its list, then every view told (hint 0). Returns the count
// read; 0 with error "Failed to open import file: " + path when the file cannot be read.
// When progress stops the reading, nothing is added and cancelled (when given) is set.
int ImportTextFile(const std::string& path, COstrelDocBase& document, std::string* error = nullptr,
                   const ProgressFn& progress = {}, bool* cancelled = nullptr);
