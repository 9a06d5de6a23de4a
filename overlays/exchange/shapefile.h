#pragma once
// Shapefiles: the shapes file (".shp"), its index (".shx") and the attribute table (".dbf").
// Export writes one shape kind per file set, in longitude/latitude degrees: points from free
// marks, polylines from open routes or tracks, polygons from closed routes or tracks (rings
// clockwise, closed by repeating their first point), with a table of ID and NAME. Import makes
// a mark of every point and a track of every part of a polyline or polygon, naming them from
// templates filled in from the table.
//
// Lengths, counts and offsets read from a file are checked against the bytes it holds.
// User-interface thread only (the objects are).
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "app/shell_services.h"
#include "overlays/exchange/exchange_read.h"

class CDBaseFile;
class CProjection;

inline constexpr char kShapefileFilter[] = "Shapefile (*.shp)";
inline constexpr char kShapefileExtension[] = "shp";

// The kinds of objects one export can write (the chooser's numbers) and their bits in the set
// of kinds a list holds.
enum ShapeExportKind : int {
  kShapeFreeMarks = 0,    // bit 1
  kShapeOpenRoutes = 1,   // bit 2
  kShapeClosedRoutes = 2, // bit 8
  kShapeOpenTracks = 3,   // bit 4
  kShapeClosedTracks = 4, // bit 16
};
int ShapeKindBit(ShapeExportKind kind);

// Asked when the list holds more than one kind: given the bits of the kinds present, the kind
// to write, or nothing to cancel.
using ShapeKindChooser = std::function<std::optional<ShapeExportKind>(int kinds_present)>;

// The files of a set: the shapes file, its index (".shx") and its table (".dbf").
std::vector<std::string> ShapefileSetPaths(const std::string& shp_path);

// Writes the shapes of one kind of the list's objects, the index beside the path (".shx") and
// the table (".dbf"), all three replacing the old set together (vd::os::AtomicFileSet: a save
// cut short leaves the old set or, once its journal is down, the new one after the next
// Recover, which every reader and writer of a set runs first). An empty list writes an empty
// point file. False with the error text
// "Failed to open output shapefile" or "Failed to create database file", or when the chooser
// cancels (error empty; nothing written).
bool ExportShapefiles(const std::string& path, const ObjectList& list,
                      const ShapeKindChooser& choose_kind, std::string* error = nullptr);

// What the import dialog shows and needs before anything is read.
struct ShapefileSummary {
  int32_t shape_type = 0;  // 1 point, 3 polyline, 5 polygon, ...
  int32_t record_count = 0;
  std::string error;       // "Failed to open Shapefile", "Shapefile has unexpected File Code"
};
ShapefileSummary ReadShapefileSummary(const std::string& path);

// What the import dialog returns.
struct ShapefileImportOptions {
  int32_t first_record = 1;  // record numbers count from 1
  int32_t last_record = std::numeric_limits<int32_t>::max();
  // "%Filename%" is the file's title, "%Index%" the record number, any other "%TEXT%" the value
  // of the first table field whose name contains TEXT (nothing when none does).
  std::string name_template = "%Filename%_%Index%";
  std::string comment_template;
  std::string link_template;
  std::string category_template;
  // A wildcard pattern the category text must match; empty takes every record.
  std::string filter;
  bool join = false;
  int32_t join_distance = 0;  // metres; tracks whose ends lie about this close become one
  uint32_t track_colour = 255;  // 0x00BBGGRR
};

// Fills a template for one record (table may be null: its fields are then empty).
std::string ExpandShapeTemplate(const std::string& text, const std::string& file_title,
                                int32_t record, CDBaseFile* table);

// Reads the records the options select, converting coordinates with the projection (load it
// with CProjection::LoadPrj(path); ask the user when that fails). An empty undo step is saved
// first. New objects are appended to list with one reference each: a locked mark per point,
// a locked track per part ("<name>", then "<name>_1", ...). The count is the objects made
// minus the tracks joined away; error is set when the file can't be read or has the wrong
// file code. A record cut short by the end of the file ends the import with what was made.
// progress, when given, hears how far the reading is and may stop it: the result is then
// cancelled, list holding what was read so far.
ExchangeRead ImportShapefile(const std::string& path, ObjectList& list,
                             const ShapefileImportOptions& options, const CProjection& projection,
                             const ProgressFn& progress = {});
