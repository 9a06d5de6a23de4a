// Writes the seed corpora of the fuzz targets: for each reader a few small files made by the
// program's own writers or the tests' fixture generators, so that fuzzing starts from inputs
// that read whole. Run from the default build (it uses the test fixtures):
//   build/default/fuzz/make_fuzz_seeds fuzz/corpus
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "charts/tests/geo_name_fixture.h"
#include "charts/tests/package_fixture.h"
#include "charts/tests/qc3_store_fixture.h"
#include "charts/tests/qed_fixture.h"
#include "charts/tile_codec.h"
#include "app/app_common.h"
#include "core/key_value_file.h"
#include "core/persistent_value.h"
#include "core/serializable_stream.h"
#include "gps/garmin/garmin_packet.h"
#include "gps/garmin/garmin_records.h"
#include "overlays/exchange/dbase_file.h"
#include "overlays/exchange/gpx_exchange.h"
#include "overlays/exchange/shapefile.h"
#include "overlays/exchange/tagged_text_file.h"
#include "overlays/model/overlay_mark.h"
#include "overlays/obj_route.h"
#include "overlays/obj_text.h"
#include "overlays/obj_track.h"
#include "overlays/obj_waypoint.h"
#include "overlays/overlay_file.h"
#include "platform/os/files.h"
#include "platform/os/profile_store.h"
#include "tests/chart_fixture.h"
#include "viewer_lib/overlay_sync.h"
#include "corvex/ostrel_doc.h"

namespace {

std::string g_root;  // the corpus folder
std::string g_work;  // scratch files

class SeedApp : public CAppCommon {
 public:
  COstrelDocBase* FindFirstDocument() override { return document; }
  COstrelDocBase* document = nullptr;
};

std::string Bytes(const std::string& path) {
  std::string bytes;
  if (!vd::os::ReadWholeFile(path, bytes)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(1);
  }
  return bytes;
}

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  const std::string folder = g_root + "/" + target;
  vd::os::MakeFolders(folder);
  if (!vd::os::SaveFileAtomically(folder + "/" + name, bytes)) {
    std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), name.c_str());
    std::exit(1);
  }
}

std::string Le32(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string LeDouble(double v) { return std::string(reinterpret_cast<const char*>(&v), 8); }
std::string Text(const std::string& s) { return Le32(static_cast<int32_t>(s.size())) + s; }

// A mark, a route of two marks, a track of three points and a note.
ObjectList SampleObjects() {
  ObjectList list;
  const auto add = [&](COstrelObject* object) {
    object->AddRef();
    list.push_back(object);
    return object;
  };
  auto mark = [&](const char* name, double lat, double lon) {
    auto* m = static_cast<CObjWaypoint*>(add(new CObjWaypoint));
    m->name = m->short_name = name;
    m->position = {lat, lon};
    m->being_placed = false;
    return m;
  };
  mark("Buoy", 50.1, -4.2);
  auto* route = static_cast<CObjRoute*>(add(new CObjRoute));
  route->name = "Passage";
  route->LinkWaypoint(mark("Start", 50.2, -4.1));
  route->LinkWaypoint(mark("End", 50.3, -4.0));
  route->EndEditing();
  auto* track = static_cast<CObjTrack*>(add(new CObjTrack));
  track->name = "Morning";
  for (int i = 0; i < 3; ++i) track->AddPoint(50.0 + i * 0.01, -4.5, 1700000000 + 60 * i, 10.0f * i, 0, 0);
  track->RecomputeTotals();
  auto* note = static_cast<CObjText*>(add(new CObjText));
  note->position = {50.4, -4.3};
  note->text = "Rocks";
  note->edit_state = CObjText::kNormal;
  return list;
}

void Release(ObjectList& list) {
  for (const bool routes : {true, false}) {
    for (auto it = list.begin(); it != list.end();) {
      if ((*it)->IsKindOf(CObjRoute::kClass) != routes) {
        ++it;
        continue;
      }
      COstrelObject* object = *it;
      it = list.erase(it);
      object->Release();
    }
  }
}

void OverlaySeeds(ObjectList& objects) {
  const std::string vdo = g_work + "/objects.vdo";
  if (!SaveObjectsToOverlayFile(vdo, objects, false)) std::exit(1);
  Seed("fuzz_overlay_file", "overlay", std::string(1, '\0') + Bytes(vdo));
  const std::string user = g_work + "/userdata.vdo";
  if (!SaveUserDataFile(user, objects, false)) std::exit(1);
  Seed("fuzz_overlay_file", "user_data", std::string(1, '\1') + Bytes(user));

  for (const char* ending : {"gpx", "loc"}) {
    const std::string path = g_work + "/objects." + ending;
    if (!ExportXmlTrackFile(path, objects, nullptr, nullptr)) std::exit(1);
    Seed("fuzz_xml_track_file", ending, std::string(1, ending[0] == 'g' ? '\0' : '\1') + Bytes(path));
  }
  Seed("fuzz_xml_track_file", "tcx",
       "\2<?xml version=\"1.0\"?><TrainingCenterDatabase><Activities><Activity Sport=\"Biking\">"
       "<Id>2024-05-01T10:00:00Z</Id><Lap><Track><Trackpoint><Time>2024-05-01T10:00:00Z</Time>"
       "<Position><LatitudeDegrees>50.1</LatitudeDegrees><LongitudeDegrees>-4.1"
       "</LongitudeDegrees></Position><AltitudeMeters>12</AltitudeMeters><HeartRateBpm><Value>"
       "120</Value></HeartRateBpm><Cadence>80</Cadence></Trackpoint></Track></Lap></Activity>"
       "</Activities></TrainingCenterDatabase>");

  const std::string csv = g_work + "/objects.csv";
  ExportTextFile(csv, objects, nullptr);
  Seed("fuzz_tagged_text_file", "objects", Bytes(csv));
  Seed("fuzz_tagged_text_file", "trainer",
       "[Timex Trainer Data File]\r\ndescription=Run^\r\n");

  // One set of each shape kind; the table follows "DBF:".
  for (const ShapeExportKind kind : {kShapeFreeMarks, kShapeOpenRoutes, kShapeOpenTracks}) {
    const std::string shp = g_work + "/set.shp";
    if (!ExportShapefiles(shp, objects, [&](int) { return kind; })) std::exit(1);
    Seed("fuzz_shapefile", "kind" + std::to_string(int(kind)),
         Bytes(shp) + "DBF:" + Bytes(g_work + "/set.dbf"));
  }
}

void TextSeeds() {
  Seed("fuzz_nmea_log_file", "fixes",
       "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
       "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
       "$GPRMC,123529,A,4807.138,N,01131.000,E,022.4,084.4,230394,003.1,W\r\n"
       "$GPWPL,4807.038,N,01131.000,E,WPTNME*5C\r\n");

  vd::os::ProfileStore store("Seed\\Settings", g_work + "/store");
  store.SetString("settings", "name", "Boat \"one\"\n");
  store.SetInt("settings", "count", -5);
  const uint8_t blob[] = {0, 1, 2, 255};
  store.SetBinary("layout", "bar", blob);
  Seed("fuzz_settings_file", "store", std::string(1, '\0') + Bytes(store.file_path()));
  CKeyValueFile values;
  values.ParseLine("name=Boat%20one&count=5");
  const std::string kv = g_work + "/values.txt";
  values.Save(kv);
  Seed("fuzz_settings_file", "key_values", std::string(1, '\1') + Bytes(kv));
}

void BlockStreamSeeds() {
  const std::string path = g_work + "/records.dat";
  {
    CSerializableStream out;
    if (!out.OpenWrite(path)) std::exit(1);
    COverlayMark mark;
    mark.name = "Buoy";
    mark.latitude = 50.1;
    mark.longitude = -4.2;
    out.WriteRecord(mark);
    if (!out.Close()) std::exit(1);
  }
  Seed("fuzz_block_stream", "mark", Bytes(path));
  // Block 2 of a sync reply: its three lists, one mark, no routes, no tracks.
  {
    CSerializableStream out;
    if (!out.OpenWrite(path)) std::exit(1);
    COverlayMark mark;
    mark.name = "Synced";
    mark.sync_id = 77;
    bool ok;
    {
      CSerializableStream::Block block(out);
      ok = OverlaySync_WriteObjectList(out, {&mark}, -1.0) &&
           OverlaySync_WriteObjectList(out, {}, -1.0) &&
           OverlaySync_WriteObjectList(out, {}, -1.0);
    }
    if (!ok || !out.Close()) std::exit(1);
  }
  Seed("fuzz_sync_reply", "one_mark", Bytes(path));
}

void ChartSeeds() {
  Seed("fuzz_map_store_reply", "area",
       std::string(1, '\1') + Le32(0) + Le32(2) + Le32(11) + Le32(12) + Le32(1) +
           Text("Chart one") + std::string("\0\0\x80\x3f", 4) + Text("Charts|Sea") +
           Text("KVX/one.qct") + Le32(11) + Le32(3));
  Seed("fuzz_map_store_reply", "keyword",
       std::string(1, '\0') + Le32(0) + Le32(1) + Text("Harbour") +
           std::string("\0\0\0\x40", 4) + Text("Plans") + Text("KVX/h.vdpkg") + Le32(5) + Le32(0));

  Seed("fuzz_place_names", "places",
       vd::test::GeoNameIndexBytes({"Towns", "Peaks"},
                                   {{0, 50.1, -4.2, "Falmouth"}, {1, 50.2, -4.0, "Hill"}}));

  const std::string package = g_work + "/maps.vdpkg";
  if (!vd::test::WritePackage(package, "maps.example", "KVX/set", "Two maps",
                              {{"a.qct", "abc"}, {"b.qed", "defgh"}})) {
    std::exit(1);
  }
  Seed("fuzz_package", "two_files", Bytes(package));

  vd::test::QedFixture qed;
  qed.absent_tiles = {4};
  Seed("fuzz_elevation_file", "grid", vd::test::MakeQedBytes(qed));

  vd::test::Qc3StoreFixture store;
  store.across = store.down = 1;
  store.chunks[{0, 0}] = {0, 1, 3};
  Seed("fuzz_chunk_store", "one_chunk", store.Bytes());

  vd::test::ChartFixture chart;
  chart.width = chart.height = 1;
  chart.texts = {{kQctTitle, "Seed"}};
  chart.outline = {{50.0, -5.0}, {49.9, -5.0}, {49.9, -4.9}};
  const std::string qct = g_work + "/chart.qct";
  if (!vd::test::WriteChartFixture(qct, chart)) std::exit(1);
  Seed("fuzz_qct_header", "chart", Bytes(qct));
  std::array<uint8_t, kTilePixels> pixels;
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t((i / 8 + i / 512) % 16);
  std::vector<uint8_t> tile;
  EncodeTile(pixels, tile);
  Seed("fuzz_decode_tile", "tile", std::string(1, '\x3f') + std::string(tile.begin(), tile.end()));
}

// Tiled charts for both generations' readers: version 2 and 4, with an extension and an
// outline, so that the tile index and tile reads of every level are reached.
void ChartFileSeeds() {
  for (const uint32_t version : {2u, 4u}) {
    vd::test::ChartFixture chart;
    chart.version = version;
    chart.width = 3;
    chart.height = 2;
    chart.texts = {{kQctTitle, "Seed"}, {kQctDatum, "WGS 84"}};
    chart.extension = version == 4;
    chart.map_type = "Nautical";
    chart.datum_shift = QctDatumShift{0.0001, -0.0002};
    chart.outline = {{50.0, -5.0}, {49.9, -5.0}, {49.9, -4.9}};
    const std::string qct = g_work + "/tiled.qct";
    if (!vd::test::WriteChartFixture(qct, chart)) std::exit(1);
    Seed("fuzz_chart_file", "version" + std::to_string(version), Bytes(qct));
  }
}

// Runs of serial frames from a receiver: one seed per waypoint type the reader knows, each
// with every other record kind in one of its types (the four leading bytes choose the types
// in the order the target lists them).
void GarminSeeds() {
  const int waypoint_types[] = {100, 101, 102, 103, 104, 105, 106, 107,
                                108, 109, 110, 152, 154, 155};
  const int route_types[] = {200, 201, 202};
  const int point_types[] = {300, 301, 302, 303, 304};
  const int header_types[] = {310, 311, 312};
  GarminWaypoint mark;
  mark.ident = "BUOY1";
  mark.comment = "Harbour mouth";
  mark.lat = 50.1;
  mark.lon = -4.2;
  mark.symbol = 3;
  mark.proximity = 25;
  GarminTrackPoint point;
  point.lat = 50.1;
  point.lon = -4.2;
  point.time = 1600000000;
  point.altitude = 12.5f;
  point.depth = 3.0f;
  point.heart_rate = 120;
  point.cadence = 80;
  point.new_track = true;
  GarminPvt pvt;
  pvt.fix = 3;
  pvt.time_of_week = 3600;
  pvt.lat_radians = 0.87;
  pvt.lon_radians = -0.07;
  pvt.week_days = 7000;
  std::vector<uint8_t> protocols;
  for (const auto& [tag, n] : std::vector<std::pair<char, uint16_t>>{
           {'P', 0}, {'L', 1}, {'A', 10}, {'A', 100}, {'D', 108}, {'A', 201}, {'D', 202},
           {'D', 108}, {'D', 210}, {'A', 301}, {'D', 310}, {'D', 301}, {'A', 800}, {'D', 800}}) {
    protocols.push_back(static_cast<uint8_t>(tag));
    protocols.push_back(static_cast<uint8_t>(n & 0xFF));
    protocols.push_back(static_cast<uint8_t>(n >> 8));
  }
  for (size_t i = 0; i < std::size(waypoint_types); ++i) {
    const int route_type = route_types[i % 3];
    const int point_type = point_types[i % 5];
    const int header_type = header_types[i % 3];
    std::string bytes{char(i), char(i % 3), char(i % 5), char(i % 3)};
    const auto frame = [&](uint8_t id, const std::vector<uint8_t>& data) {
      bytes += EncodeSerialFrame(GarminPacket{id, data});
    };
    std::vector<uint8_t> data;
    frame(kPidProtocolArray, protocols);
    if (EncodeWaypoint(waypoint_types[i], mark, data)) frame(kPidWaypoint, data);
    if (EncodeRouteHeader(route_type, 3, "Passage", data)) frame(kPidRouteHeader, data);
    if (EncodeWaypoint(waypoint_types[i], mark, data)) frame(kPidRouteWaypoint, data);
    if (EncodeTrackHeader(header_type, "Morning", 2, data)) frame(kPidTrackHeader, data);
    if (EncodeTrackPoint(point_type, point, data)) {
      frame(kPidTrackPoint, data);
      frame(kPidTrackPoint, data);
    }
    frame(kPidPvt, EncodePvt(pvt));
    Seed("fuzz_garmin_packets", "records_d" + std::to_string(waypoint_types[i]), bytes);
  }
}

void ProgramSeeds(SeedApp& app) {
  // A configuration document as the program saves it.
  {
    COstrelDoc document;
    app.document = &document;
    const std::string vdn = g_work + "/Vardune-6.vdn";
    if (!document.OnSaveDocument(vdn)) std::exit(1);
    app.document = nullptr;
    Seed("fuzz_config_document", "document", Bytes(vdn));
  }
  // Request 2 (show an area): four doubles; then a string and an int.
  Seed("fuzz_api_file", "fields",
       std::string("\3\3\3\3\6\0", 6) + std::string(10, '\0') + LeDouble(50.0) + LeDouble(50.5) +
           LeDouble(-5.0) + LeDouble(-4.5) + Text("Mark") + Le32(7));
  Seed("fuzz_viewer_start_file", "start",
       std::string("/charts/a.qct\0/charts/a.qed\0", 28) + Le32(2) + LeDouble(50.0) +
           LeDouble(-4.0) + LeDouble(50.1) + LeDouble(-4.1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  g_root = argv[1];
  char work[] = "/tmp/vdseeds-XXXXXX";
  if (!mkdtemp(work)) return 1;
  g_work = work;
  vd::SetProfileLocation(vd::kDefaultProfileKey, g_work + "/profile");
  SeedApp app;
  app.temp_folder = g_work;
  app.data_folder = g_work + "/data";
  vd::os::MakeFolders(app.data_folder);
  ObjectList objects = SampleObjects();
  OverlaySeeds(objects);
  Release(objects);
  TextSeeds();
  BlockStreamSeeds();
  ChartSeeds();
  ChartFileSeeds();
  GarminSeeds();
  ProgramSeeds(app);
  const std::string command = "rm -rf '" + g_work + "'";
  return std::system(command.c_str()) == 0 ? 0 : 1;
}
