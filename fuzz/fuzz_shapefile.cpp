// Fuzz target: a shapefile set. The input is the .shp file, then, after the first "DBF:" in it
// (when there is one), the .dbf table; both are read as the import reads them, every field of
// every record of the table included.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_objects.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_responder.h"
#include "geodesy/projection.h"
#include "overlays/exchange/dbase_file.h"
#include "overlays/exchange/shapefile.h"
#include "overlays/ostrel_object.h"
#include "platform/os/files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vd::fuzz::Setup();
  vd::fuzz::AnswerQuietly();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find("DBF:");
  const std::string_view shp = input.substr(0, split);
  const std::string path = vd::fuzz::WriteInput(
      "input.shp", reinterpret_cast<const uint8_t*>(shp.data()), shp.size());
  const std::string dbf_path = vd::fuzz::Folder() + "/input.dbf";
  vd::os::RemoveFile(dbf_path);
  if (split != std::string_view::npos) {
    const std::string_view dbf = input.substr(split + 4);
    vd::fuzz::WriteInput("input.dbf", reinterpret_cast<const uint8_t*>(dbf.data()), dbf.size());
    CDBaseFile table;
    if (table.Open(dbf_path)) {
      std::string value;
      for (int64_t record = 0; record < table.record_count() && record < 64; ++record) {
        for (int field = 0; field < table.field_count(); ++field) table.ReadField(record, field, value);
      }
    }
  }
  (void)ReadShapefileSummary(path);
  CProjection projection;
  projection.SetLatLong();
  ShapefileImportOptions options;
  options.name_template = "%NAME%_%Index%";
  options.join = (size & 1) != 0;
  options.join_distance = 100;
  ObjectList list;
  ImportShapefile(path, list, options, projection);
  vd::fuzz::ReleaseObjects(list);
  return 0;
}
