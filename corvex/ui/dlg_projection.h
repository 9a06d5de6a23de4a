#pragma once
// "Geographic Projection": the coordinate system of data about to be read (a shapefile without
// a usable ".prj", a map to import). The choice opens as it was last left (setting
// "default_projection") and is stored again on OK.
//
//   CProjection projection;
//   if (!projection.LoadPrj(path)) {
//     CDlgProjection dialog(parent);
//     if (dialog.DoModal() != vd::ui::kIdOk || !dialog.ApplyToProjection(projection)) return;
//   }
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/ui/dialog_f1_help.h"

class CProjection;

struct ProjectionChoice {
  // The kinds, numbered as the setting stores them.
  enum Kind : int32_t {
    kLatLon = 1372,
    kUtm = 1373,
    kOsgb = 1374,
    kPrjFile = 1375,
    kProjParameters = 1376,
  };
  static constexpr int32_t kFirstUtmZone = 1;
  static constexpr int32_t kLastUtmZone = 60;

  std::string datum = "WGS84";
  std::string prj_path;
  std::string proj_text;
  int32_t kind = kLatLon;
  int32_t zone = 0;

  // "datum|prj path|PROJ text|kind|zone|". The texts may not hold '|'.
  std::string Format() const;
  // Fields missing from the end keep their defaults; numbers read as atoi does.
  static ProjectionChoice Parse(std::string_view text);

  // Datum first (NAD27 when the name holds "27"), then the system; false when the system
  // can't be set (a UTM zone outside 1..60 among others).
  bool ApplyTo(CProjection& projection) const;
  // The PROJ parameter line a map import reads; nothing for a ".prj" file, which has none,
  // and for a UTM zone outside 1..60. OSGB also names its datum "OSGB".
  std::optional<std::string> ProjLine(std::string* datum_out = nullptr) const;
};

inline constexpr char kDefaultProjectionSetting[] = "default_projection";
inline constexpr char kDefaultProjDatSetting[] = "default_projdat";

class CDlgProjection : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 208;
  static constexpr int kDatumCombo = 1001;
  static constexpr int kPrjPathEdit = 1002;
  static constexpr int kBrowseButton = 1003;
  static constexpr int kProjTextEdit = 1004;
  static constexpr int kZoneEdit = 1005;
  // The kind radios carry the kinds' numbers as their ids.
  static constexpr int kLatLonRadio = ProjectionChoice::kLatLon;
  static constexpr int kUtmRadio = ProjectionChoice::kUtm;
  static constexpr int kOsgbRadio = ProjectionChoice::kOsgb;
  static constexpr int kPrjFileRadio = ProjectionChoice::kPrjFile;
  static constexpr int kProjRadio = ProjectionChoice::kProjParameters;

  // Loads the stored choice.
  explicit CDlgProjection(QWidget* parent);

  // The dialog's layout under kTemplate; idempotent.
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Refuses a '|' in a text and a UTM zone outside 1..60 (telling the user); otherwise takes
  // the choice and stores it.
  void OnOK() override;
  void OnCommand(int id, QWidget* control, int code) override;

  const ProjectionChoice& choice() const { return choice_; }
  bool ApplyToProjection(CProjection& projection) const { return choice_.ApplyTo(projection); }
  // Writes the PROJ parameter line to path and the datum name to "Datum.txt" beside it; false
  // when the choice has no such line or a file can't be written.
  bool WriteProjectionFile(const std::string& path) const;

 private:
  int CheckedKind() const;
  void EnableForKind();

  ProjectionChoice choice_;
};

// The default projection for map import: runs the dialog, writes temp_folder +
// "/default_proj.dat" and stores its path as "default_projdat"; an unsupported choice is
// reported. False when cancelled or not written.
bool ChooseDefaultMapProjection(QWidget* parent, const std::string& temp_folder);
