#pragma once
// The application's common services: the base of the main program's application object. It
// holds the program, data and temp folders, the user's units and position format with the text
// formatting built on them, the magnetic variation, and the list of docking data panes.
//
// Its units state is the profile's ("distance_units" 0 nautical miles, 1 statute miles,
// 2 kilometres; "posn_format" codes below), not the units record of the overlays
// (CDefaultUnits), whose indices differ.
//
// Position-format codes: 0 decimal degrees with letters, 1 degrees and minutes, 2 degrees,
// minutes and seconds, 3 UTM on NAD27, 4 British National Grid, 5 UTM on WGS84, 6 the
// projection file named by the setting "posn_format_proj", 7 township and range, 8 signed
// decimal degrees, 9 MGRS, 10 UTM on WGS84 with latitude bands.
//
// Texts are UTF-8 (the degree sign is "°"); numbers are written in the C locale. Used on the
// user-interface thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/persistent_value.h"

class COstrelDocBase;
class COstrelObject;
class CDataWnd;
class CElevationFile;
class COfflineData;
class utm_grid_formatter;

class CAppCommon {
 public:
  enum DistanceUnits { kNauticalMiles = 0, kStatuteMiles = 1, kKilometres = 2 };
  enum DateOrder { kMonthDayYear = 0, kDayMonthYear = 1, kYearMonthDay = 2 };
  static constexpr double kNoPosition = 999.0;
  // The older edition's profile key that ReadRegistryDword and ReadRegistryString read.
  static constexpr char kLegacyProfileKey[] = "Software\\Vardune\\Vardune Navigator-OS5";

  // Becomes the application object (Instance()); seeds the C random generator; takes the date
  // order from the user's locale.
  CAppCommon();
  virtual ~CAppCommon();
  CAppCommon(const CAppCommon&) = delete;
  CAppCommon& operator=(const CAppCommon&) = delete;

  // The application object, null while there is none.
  static CAppCommon* Instance();

  // Folders and profile, filled at start-up.
  // program: the executable's folder; data: the documents folder + "/Map Overlays" (the
  // program folder + "/data" when there is no documents folder); temp: the program's temp
  // folder.
  void InitFolders();
  // Binds the profile values below (section "settings") with their defaults and reads the
  // manual variation ("magnetic_variation", minutes of arc) as degrees.
  void BindProfileValues();

  // The settings start-up reads once the main window exists: the elevation file named by the
  // setting "qedfile" (default program folder + "/elevation.qed") is opened when it exists, and
  // the defaults of new marks and route points are read ("def_mark" 10, "def_wp" 0,
  // "def_mark_color" 255, "def_wp_color" 0xff0000). The program's own application object adds
  // what the layers below can't reach (the inter-program API's transaction file).
  virtual void LoadCommonSettings();

  // A value of the older edition's profile under kLegacyProfileKey, section sub_key; the
  // default when the value is missing.
  static int ReadRegistryDword(const std::string& sub_key, const std::string& name,
                               int default_value);
  static std::string ReadRegistryString(const std::string& sub_key, const std::string& name,
                                        const std::string& default_value);

  // The first open document of the program's document class, over all document templates;
  // null when none is open.
  virtual COstrelDocBase* FindFirstDocument() = 0;

  // Tells the user something that needs no answer (a missing data file, say). The program's
  // application object shows it in a message box; the base writes it to the error stream.
  virtual void ShowUserMessage(const std::string& text);

  // The program's open elevation file, whose terrain heights the route and track profiles
  // read; null while none is open.
  virtual const CElevationFile* GetElevationFile() const;

  // The program's one elevation file and the offline data of its charts (charts/offline_data.h):
  // elevation ("qed") and search ("vdq") data found beside a chart or fetched once into the map
  // store.
  COfflineData& offline_data() { return *offline_data_; }
  std::string DownloadOfflineData(const std::string& chart_path, const std::string& name,
                                  const std::string& kind, bool requery);
  void FindElevationFile(const std::string& chart_path, const std::string& name);
  bool OpenElevationFile(const std::string& path);

  // Data panes.
  void AddDataWindow(CDataWnd* pane);
  void RemoveDataWindow(CDataWnd* pane);
  const std::vector<CDataWnd*>& data_windows() const { return data_windows_; }
  // Tells every pane in list order; a pane may leave the list, or destroy another, from its
  // Update (panes that left before their turn are not told).
  void BroadcastToDataWindows(COstrelObject* object, int hint);
  // Destroys the panes' windows one by one until the list is empty.
  virtual void CloseAllDataWindows();

  // The Units and position-format menu commands: store the choice, write it to the profile
  // at once and have the first document redraw its views (hint 0). Values outside the codes
  // above are ignored.
  void SetDistanceUnits(int units);
  void SetPositionFormat(int code);

  // Formatting in the user's units.
  // Nautical miles as "%.3g %s" ("%.0f %s" from 999.5 on; "0" for exactly 0): unit 0 yards
  // below 0.05 NM, else NM; unit 1 feet below 0.1645 statute miles, else "Mi"; unit 2 metres
  // below 1 km, else "km".
  std::string FormatDistance(double nautical_miles) const;
  // Factor from knots: 1 "NM" "kts", 1.1507823 "mi" "mph", 1.852 "km" "km/h"; 1 and empty
  // names for an unknown unit.
  double GetSpeedUnit(std::string& distance_unit, std::string& speed_unit) const;
  // "%.02f %s" below 10, else "%.01f %s".
  std::string FormatSpeed(double knots) const;
  // Factor from metres: 3.2808 "ft", or 1 "m" with kilometres.
  double GetDepthUnit(std::string& name) const;
  // "%.0f %s"; empty when depths are not shown or the value is 30000 or more.
  std::string FormatDepth(double metres) const;
  // "%.2f %s": "sq NM", "acres", "hectares" (or "sq km" beyond 1000 hectares).
  std::string FormatArea(double square_metres) const;
  // "%03d°T", or "%03d°M" with the variation added when bearings are magnetic; rounded to the
  // nearest degree within 0..359.
  std::string FormatBearing(double degrees_true) const;
  std::string FormatRangeBearing(double nautical_miles, double degrees_true) const;
  // "%d:%02d" hours and minutes, with "%d day, " or "%d days, " before it from one day on.
  static std::string FormatDuration(int64_t seconds);
  // Local "%02d:%02d:%02d" (or without seconds) and " dd/mm/yy" in the date order; empty when
  // the time has no local calendar date.
  std::string FormatTime(int64_t seconds_1970, bool with_seconds) const;
  std::string FormatDateTime(int32_t seconds_1970, bool with_seconds) const;
  // One angle in the format of the current code (letters "NS" or "EW").
  std::string FormatLatLon(double value, const char* letters) const;
  // Code 8 "%8.5f" signed; 0 "%8.5f°"; 2 "%d°%d'%04.1f\""; any other "%d°%06.3f'"; all but
  // code 8 followed by the hemisphere letter.
  static std::string FormatLatLon(double value, const char* letters, int position_format_code);
  // The position in the current format: the grid formatter's text, or latitude ", "
  // longitude where it has none. The longitude is first brought into -180..180 by one step.
  void FormatPosition(double lat, double lon, std::string& out);
  // The grid formatter of the current position format, made anew when the code changed.
  utm_grid_formatter* GetPositionFormatter();
  // Forgets the grid formatter (its projection file changed).
  void DropPositionFormatter();

  // With magnetic bearings on and the position a degree or more from the last one (sum of the
  // squared differences at least 1), sets the variation to minus the model's declination at
  // it (program folder + "/WMM_COF.txt", height 100 m) and remembers position and time;
  // without the model nothing changes. With magnetic bearings off only position and time are
  // remembered.
  void UpdateMagneticVariation(double lat, double lon, int64_t seconds_1970);
  // Forgets the last position and recomputes the variation at it.
  void ResetCurrentPosition();

  // The map-store folder: the setting "kvx_folder" when it names a writable folder, else the
  // setting "qct_dir" + "/KVX". Not created here.
  static std::string GetKvxFolder();

  // Hands the address to the desktop, "http://" put before it when it has no "://".
  bool OpenURL(const std::string& text);

  // The order of day, month and year in a strftime date format ("%m/%d/%y" gives
  // kMonthDayYear); kDayMonthYear when the format does not tell.
  static int DateOrderOfFormat(std::string_view date_format);

  std::string program_folder;
  std::string data_folder;
  std::string temp_folder;

  // Defaults of new marks and route points, read by LoadCommonSettings.
  int default_route_point_symbol = 0;
  int default_mark_symbol = 10;
  int default_route_point_colour = 16711680;
  int default_mark_colour = 255;

  // Profile values (BindProfileValues).
  PersistentInt show_altitude;  // show depths and heights
  PersistentInt night_colors;
  PersistentInt distance_units;  // DistanceUnits
  PersistentInt posn_format;     // position-format code
  PersistentInt show_magnetic;   // bearings magnetic
  // Degrees added to a true bearing to give the magnetic one: minus the declination.
  float magnetic_variation = 0.0f;

  int date_order = kDayMonthYear;

  // Where the variation was last worked out.
  double last_variation_lat = kNoPosition;
  double last_variation_lon = 0.0;
  int64_t last_variation_time = 0;

  // Set by the shell when start-up has completed.
  bool started = false;

 private:
  std::vector<CDataWnd*> data_windows_;
  std::unique_ptr<COfflineData> offline_data_;
  std::unique_ptr<utm_grid_formatter> position_formatter_;
};

// For callers that hold no pointer to the application object; the current position format
// (degrees and minutes, and no grid, while there is no application object).
// The latitude in the current format ("NS").
void FormatLatitudeText(double lat, std::string& out);
// The longitude, brought into -180..180 by one step, in the current format ("EW").
void FormatLongitudeText(double lon, std::string& out);
void FormatPositionText(double lat, double lon, std::string& out);
// A typed position: the current grid formatter's parser first; then latitude and longitude
// divided at a ',' or at a blank after one of "nNsS0123456789." (ParseLatitudeText and
// ParseLongitudeText; later such places are tried when the first gives no valid pair).
bool ParsePositionText(const std::string& text, double& lat, double& lon);
