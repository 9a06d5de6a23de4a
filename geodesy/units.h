#pragma once
// The user's units and the named position formats: the unit tables, angle text, bearing and
// clock-time text, and the position formats that register themselves by name before main()
// runs. The choices themselves live in the units record (CDefaultUnits, default_units.h).
//
// Registered position formats, in registration order (the list runs from the last to the
// first): "Deg,Min", "Deg,Min,Sec", "Degrees", "British National Grid", "UTM on WGS84",
// "UTM/WGS84 bands".
#include <string>
#include <string_view>

class CUnits {
 public:
  struct Unit {
    const char* name;
    float factor;  // from the base unit (metres, knots) to this one
  };

  // Distance units, factor per metre. The unit systems pair 0-4 (statute), 1-5 (nautical) and
  // 2-3 (metric) as large and small distance units.
  static constexpr int kDistanceUnitCount = 6;
  static constexpr Unit kDistanceUnits[kDistanceUnitCount] = {
      {"Mi", 0.000621371204f}, {"NM", 0.000539956789f}, {"km", 0.001f}, {"m", 1.0f},
      {"ft", 3.281f},          {"yds", 1.0936f}};
  // Speed units, factor per knot.
  static constexpr int kSpeedUnitCount = 4;
  static constexpr Unit kSpeedUnits[kSpeedUnitCount] = {
      {"mph", 1.1507795f}, {"kts", 1.0f}, {"km/h", 1.852f}, {"m/s", 0.5144445f}};
  // Depth units, factor per metre.
  static constexpr int kDepthUnitCount = 3;
  static constexpr Unit kDepthUnits[kDepthUnitCount] = {
      {"ft", 3.281f}, {"m", 1.0f}, {"fathom", 0.5468333f}};

  // A named way of writing and reading a latitude/longitude pair. Instances are static objects
  // that live for the whole run; each prepends itself to the program-wide list when built.
  class PositionFormatType {
   public:
    explicit PositionFormatType(std::string name);
    virtual ~PositionFormatType();
    PositionFormatType(const PositionFormatType&) = delete;
    PositionFormatType& operator=(const PositionFormatType&) = delete;

    // The position as text; false when this format has none for it.
    virtual bool Format(double lat, double lon, std::string& text) const = 0;
    // Typed text back to a position; false (lat and lon unchanged) when it does not read.
    virtual bool Parse(const std::string& text, double& lat, double& lon) const = 0;

    const std::string& name() const { return name_; }
    PositionFormatType* next() const { return next_; }

   private:
    std::string name_;
    PositionFormatType* next_ = nullptr;
  };

  // The three angle formats: latitude text, ", ", longitude text; parsing through
  // ParseLatLonText.
  class PosFmtLatLon : public PositionFormatType {
   public:
    PosFmtLatLon(std::string name, int angle_type);
    bool Format(double lat, double lon, std::string& text) const override;
    bool Parse(const std::string& text, double& lat, double& lon) const override;

   private:
    int angle_type_;
  };
  class PosFmtDegMin : public PosFmtLatLon {
   public:
    PosFmtDegMin();  // "Deg,Min", angle type 1
  };
  class PosFmtDMS : public PosFmtLatLon {
   public:
    PosFmtDMS();  // "Deg,Min,Sec", angle type 2
  };
  class PosFmtDeg : public PosFmtLatLon {
   public:
    PosFmtDeg();  // "Degrees", angle type 0
  };

  // The settings group "Units", which opens the "Units" sheet (geodesy/ui/unit_sheets.h).
  class CUnitSettingsType;

  // The newest registered format; walk on with next().
  static PositionFormatType* FirstPositionFormat();
  // The registered format of that exact name, or null.
  static PositionFormatType* FindPositionFormat(std::string_view name);
  // "Deg,Min", the format before any setting is read and for unknown names.
  static PositionFormatType* DefaultPositionFormat();

  // One angle: type 0 "%8.5f°", 1 "%d°%06.3f'", 2 "%d°%d'%04.1f\"", each followed by the
  // hemisphere letter of `letters` ("NS" or "EW"; the second for negative values, written by
  // their magnitude); 3 "%8.5f" signed with no letter. Minutes or seconds that would print as
  // 60 carry into the next minute or degree.
  static void FormatAngle(std::string& text, const char* letters, double value, int type);

  // Typed degrees (see ScanDegreesText in angle_text.h): value = degrees + minutes/60 +
  // seconds/3600 with a leading minus applying to the whole; 999 when no number is read.
  // Returns the hemisphere letter, 0 when none.
  static char ParseDegreesText(const std::string& text, double& value);
  // |lat| <= 90, 'S' southern; |lon| <= 360, 'W' western. False, the output unchanged, when no
  // number is read, the value is out of range or the text has the other axis's letter.
  static bool ParseLatitudeText(const std::string& text, double& lat);
  static bool ParseLongitudeText(const std::string& text, double& lon);
  // Latitude and longitude divided at a ',' or at a blank after one of "nNsS0123456789."
  // (later such places are tried when the first does not give two valid halves).
  static bool ParseLatLonText(const std::string& text, double& lat, double& lon);

  // The bearing as the units record writes it (CDefaultUnits::FormatBearingValue).
  static void FormatBearingValue(float bearing, std::string& text);

  // Local time of the instant as "%d:%02d%s" on the 12-hour clock: "1:05pm", "0:30am" (hours
  // 13 to 23 lose 12; midnight shows 0).
  static std::string FormatClockTime(double seconds_1970);
};
