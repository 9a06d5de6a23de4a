#pragma once
// "Shapefile settings": how the records of one shapefile become overlay objects — the records
// to take, the templates of name, comment, link and category filled from the attribute table,
// a category filter, joining of line pieces and the colour of tracks. What the user chose is
// kept in profile section "shp_settings" for the next import.
//
//   std::string error;
//   std::optional<ShapefileImportOptions> options = AskShapefileImport(path, parent, &error);
//   if (options) ImportShapefile(path, list, *options, projection);
#include <cstdint>
#include <optional>
#include <string>

#include "core/ui/dialog_f1_help.h"
#include "overlays/exchange/shapefile.h"

class CDBaseFile;

// The name of a shape type (1 "Point", 3 "PolyLine", 5 "Polygon", ...); "Unknown" for a number
// that names none.
std::string ShapeTypeName(int32_t shape_type);

class CDlgShapefile : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 207;
  static constexpr int kTypeText = 1001;
  static constexpr int kFromEdit = 1002;
  static constexpr int kToEdit = 1003;
  static constexpr int kFieldCombo = 1004;
  static constexpr int kNameEdit = 1005;
  static constexpr int kAddNameButton = 1006;
  static constexpr int kCommentEdit = 1007;
  static constexpr int kAddCommentButton = 1008;
  static constexpr int kLinkEdit = 1009;
  static constexpr int kAddLinkButton = 1010;
  static constexpr int kCategoryEdit = 1011;
  static constexpr int kAddCategoryButton = 1012;
  static constexpr int kFilterEdit = 1013;
  static constexpr int kJoinCheck = 1014;
  static constexpr int kJoinDistanceEdit = 1015;
  static constexpr int kColourCombo = 1016;
  static constexpr int kColourButton = 1017;

  static constexpr char kSection[] = "shp_settings";

  // table: the shapefile's attribute table, or null when it has none; read while the dialog
  // runs.
  CDlgShapefile(int32_t shape_type, int32_t record_count, CDBaseFile* table, QWidget* parent);

  // The dialog's layout under kTemplate; idempotent.
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Takes the choice (the record range brought within the file's) and stores it.
  void OnOK() override;
  void OnCommand(int id, QWidget* control, int code) override;
  std::string HelpTopic() const override { return "Shapefile_Import___Export"; }

  // What OK chose.
  const ShapefileImportOptions& options() const { return options_; }

 private:
  // Appends the field chosen in the field list, between '%' signs, to the edit.
  void AddField(int edit_id);
  void EnableJoinDistance();

  const std::string type_name_;
  const int32_t record_count_;
  CDBaseFile* const table_;
  ShapefileImportOptions options_;
};

// Reads the file's header and its table (".dbf" beside it) and runs the dialog over them.
// Nothing when the user cancels, or with *error set when the file can't be read.
std::optional<ShapefileImportOptions> AskShapefileImport(const std::string& path,
                                                         QWidget* parent,
                                                         std::string* error = nullptr);
