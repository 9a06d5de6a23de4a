// The shapefile dialogs: the import settings they show, store in "shp_settings" and hand back,
// and the export's choice of object kind.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "corvex/ui/dialog_controls.h"
#include "corvex/ui/dlg_shapefile.h"
#include "corvex/ui/dlg_shapefile_output.h"
#include "overlays/exchange/dbase_file.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/responder.h"
#include "tests/temp_dir.h"

namespace {

using D = CDlgShapefile;

// Runs a dialog, acts on it while open, and cancels it when the act did not end it.
template <class Base>
class Driven : public Base {
 public:
  using Act = std::function<void(Driven&)>;
  template <class... Args>
  explicit Driven(Act act, Args&&... args) : Base(std::forward<Args>(args)..., nullptr), act_(std::move(act)) {}
  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    Base::OnInitDialog(focus, param);
    act_(*this);
    if (!this->dialog_window()->ended()) this->EndDialog(vd::ui::kIdCancel);
    return true;
  }
  bool Enabled(int id) const { return this->GetItem(id)->isEnabled(); }
  void Click(int id) { qobject_cast<QAbstractButton*>(this->GetItem(id))->click(); }
  QComboBox* Combo(int id) const { return this->dialog_window()->template ControlAs<QComboBox>(id); }

 private:
  Act act_;
};
using DrivenImport = Driven<CDlgShapefile>;
using DrivenOutput = Driven<CDlgShapefileOutput>;

struct Colours : vd::ui::DialogResponder {
  std::optional<vd::ui::ColourRef> ChooseColor(QWidget*, vd::ui::ColourRef) override {
    return chosen;
  }
  std::optional<vd::ui::ColourRef> chosen;
};

class ShapefileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation(vd::kDefaultProfileKey, dir_.path()); }

  // A table of the given fields, each a character field, with one record of values.
  void MakeTable(const std::string& path, const std::vector<std::pair<std::string, std::string>>& fields) {
    CDBaseFile writer;
    ASSERT_TRUE(writer.Create(path, static_cast<int>(fields.size())));
    for (const auto& field : fields) ASSERT_TRUE(writer.AddCharField(field.first, 40));
    for (const auto& field : fields) ASSERT_TRUE(writer.WriteString(field.second));
    ASSERT_TRUE(writer.Close());
  }
  vd::os::ProfileStore Profile() const { return vd::OpenAppProfile(); }

  vd::test::TempDir dir_;
  Colours colours_;
  vd::ui::ScopedResponder responder_{&colours_};
};

TEST_F(ShapefileDialogTest, DefaultsFieldsAndAddButtonsThenOkStoresAndReturnsTheOptions) {
  MakeTable(dir_.File("rivers.dbf"),
            {{"NAME", "Thames and Severn Canal Link"}, {"KIND", "canal"}});
  CDBaseFile table;
  ASSERT_TRUE(table.Open(dir_.File("rivers.dbf")));
  DrivenImport dialog(
      [](DrivenImport& d) {
        EXPECT_EQ(d.GetItemText(D::kTypeText), "PolyLine");
        EXPECT_EQ(d.GetItemText(D::kFromEdit), "1");
        EXPECT_EQ(d.GetItemText(D::kToEdit), "12");
        EXPECT_EQ(d.GetItemText(D::kNameEdit), "%NAME%");
        EXPECT_EQ(d.GetItemText(D::kCategoryEdit), "PolyLine");
        EXPECT_EQ(d.GetItemText(D::kJoinDistanceEdit), "50");
        EXPECT_EQ(d.dialog_window()->CheckState(D::kJoinCheck), 0);
        QComboBox* fields = d.Combo(D::kFieldCombo);
        std::vector<std::string> entries;
        for (int i = 0; i < fields->count(); ++i) entries.push_back(fields->itemText(i).toStdString());
        EXPECT_EQ(entries, (std::vector<std::string>{"NAME (eg, Thames and Severn Ca)",
                                                     "KIND (eg, canal)", "Filename", "Index"}));
        fields->setCurrentIndex(1);
        d.Click(D::kAddCategoryButton);
        fields->setCurrentIndex(3);
        d.Click(D::kAddNameButton);
        EXPECT_EQ(d.GetItemText(D::kCategoryEdit), "PolyLine%KIND%");
        EXPECT_EQ(d.GetItemText(D::kNameEdit), "%NAME%%Index%");
        d.SetItemText(D::kFromEdit, "3");
        d.SetItemText(D::kToEdit, "9");
        d.SetItemText(D::kFilterEdit, "c*l");
        d.Click(D::kJoinCheck);
        EXPECT_TRUE(d.Enabled(D::kJoinDistanceEdit));
        d.SetItemText(D::kJoinDistanceEdit, "120");
        d.Combo(D::kColourCombo)->setCurrentIndex(5);  // blue
        d.Click(vd::ui::kIdOk);
      },
      3, 12, &table);
  ASSERT_EQ(dialog.DoModal(), vd::ui::kIdOk);
  const ShapefileImportOptions& o = dialog.options();
  EXPECT_EQ(o.first_record, 3);
  EXPECT_EQ(o.last_record, 9);
  EXPECT_EQ(o.name_template, "%NAME%%Index%");
  EXPECT_EQ(o.category_template, "PolyLine%KIND%");
  EXPECT_EQ(o.filter, "c*l");
  EXPECT_TRUE(o.join);
  EXPECT_EQ(o.join_distance, 120);
  EXPECT_EQ(o.track_colour, vd::ui::MakeColourRef(0, 0, 255));

  const vd::os::ProfileStore p = Profile();
  EXPECT_EQ(p.GetInt(D::kSection, "join"), 1);
  EXPECT_EQ(p.GetInt(D::kSection, "join_dist"), 120);
  EXPECT_EQ(p.GetString(D::kSection, "name"), "%NAME%%Index%");
  EXPECT_EQ(p.GetString(D::kSection, "category"), "PolyLine%KIND%");
  EXPECT_EQ(p.GetString(D::kSection, "filter"), "c*l");
  EXPECT_EQ(p.GetString(D::kSection, "comment"), "");
  EXPECT_EQ(p.GetInt(D::kSection, "color"), static_cast<int>(vd::ui::MakeColourRef(0, 0, 255)));
}

TEST_F(ShapefileDialogTest, StoredTemplatesAreMendedForTheFileAtHand) {
  struct Case {
    const char* what;
    bool table_has_name;
    const char* stored_name;
    const char* stored_category;
    const char* name;
    const char* category;
  };
  const Case cases[] = {
      {"no NAME field", false, "%NAME%", "%KIND%", "%Filename%_%Index%", "%KIND%"},
      {"NAME field", true, "%NAME% x", "%KIND%", "%NAME% x", "%KIND%"},
      {"template without NAME", false, "%ID%", "rivers", "%ID%", "Point"},
      {"no table at all", false, "My NAME", "", "%Filename%_%Index%", "Point"},
  };
  for (const Case& c : cases) {
    vd::os::ProfileStore p = Profile();
    p.SetString(D::kSection, "name", c.stored_name);
    p.SetString(D::kSection, "category", c.stored_category);
    CDBaseFile* table = nullptr;
    CDBaseFile opened;
    if (std::string(c.what) != "no table at all") {
      MakeTable(dir_.File(std::string(c.what) + ".dbf"),
                {{c.table_has_name ? "NAME" : "TITLE", "a"}, {"KIND", "b"}});
      ASSERT_TRUE(opened.Open(dir_.File(std::string(c.what) + ".dbf")));
      table = &opened;
    }
    DrivenImport dialog(
        [&](DrivenImport& d) {
          EXPECT_EQ(d.GetItemText(D::kNameEdit), c.name) << c.what;
          EXPECT_EQ(d.GetItemText(D::kCategoryEdit), c.category) << c.what;
        },
        1, 4, table);
    dialog.DoModal();
  }
}

TEST_F(ShapefileDialogTest, TheShapeTypeDecidesWhichSettingsApply) {
  const struct {
    int32_t type;
    bool join, colour, comment;
  } cases[] = {{3, true, true, false},  {13, true, true, false}, {5, false, true, false},
               {1, false, false, true}, {21, false, false, true}, {31, false, false, false}};
  for (const auto& c : cases) {
    Profile().SetInt(D::kSection, "join", 1);
    DrivenImport dialog(
        [&](DrivenImport& d) {
          SCOPED_TRACE(c.type);
          EXPECT_EQ(d.Enabled(D::kJoinCheck), c.join);
          EXPECT_EQ(d.Enabled(D::kJoinDistanceEdit), c.join);
          EXPECT_EQ(d.Enabled(D::kColourCombo), c.colour);
          EXPECT_EQ(d.Enabled(D::kColourButton), c.colour);
          for (int id : {D::kCommentEdit, D::kAddCommentButton, D::kLinkEdit, D::kAddLinkButton})
            EXPECT_EQ(d.Enabled(id), c.comment) << id;
        },
        c.type, 1, nullptr);
    dialog.DoModal();
  }
}

TEST_F(ShapefileDialogTest, TheRecordRangeStaysWithinTheFile) {
  const struct {
    const char* from;
    const char* to;
    int32_t count, first, last;
  } cases[] = {{"0", "50", 10, 1, 10}, {"7", "3", 10, 7, 7},  {"x", "", 10, 1, 1},
               {"12", "20", 10, 10, 10}, {"-4", "2", 10, 1, 2}, {"1", "1", 0, 1, 1}};
  for (const auto& c : cases) {
    DrivenImport dialog(
        [&](DrivenImport& d) {
          d.SetItemText(D::kFromEdit, c.from);
          d.SetItemText(D::kToEdit, c.to);
          d.Click(vd::ui::kIdOk);
        },
        1, c.count, nullptr);
    ASSERT_EQ(dialog.DoModal(), vd::ui::kIdOk);
    EXPECT_EQ(dialog.options().first_record, c.first) << c.from << ".." << c.to;
    EXPECT_EQ(dialog.options().last_record, c.last) << c.from << ".." << c.to;
  }
}

TEST_F(ShapefileDialogTest, ACustomColourIsAddedAndKept) {
  const vd::ui::ColourRef custom = vd::ui::MakeColourRef(12, 34, 56);
  colours_.chosen = custom;
  DrivenImport first(
      [](DrivenImport& d) {
        d.Click(D::kColourButton);
        EXPECT_EQ(d.Combo(D::kColourCombo)->count(), 12);
        d.Click(vd::ui::kIdOk);
      },
      5, 1, nullptr);
  ASSERT_EQ(first.DoModal(), vd::ui::kIdOk);
  EXPECT_EQ(first.options().track_colour, custom);
  DrivenImport second(
      [&](DrivenImport& d) {
        auto* combo = static_cast<CColorCombo*>(d.Combo(D::kColourCombo));
        EXPECT_EQ(combo->GetSelectedColour(), custom);
      },
      5, 1, nullptr);
  second.DoModal();
}

// A point shapefile of n records (each 20 bytes of content) with a table beside it.
void WritePointShapefile(const std::string& path, int n) {
  std::string bytes(100, '\0');
  const auto put_be = [](std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (24 - 8 * i));
  };
  const auto put_le = [](std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
  };
  put_be(bytes, 0, 9994);
  put_le(bytes, 28, 1000);
  put_le(bytes, 32, 1);
  for (int r = 1; r <= n; ++r) {
    std::string record(28, '\0');
    put_be(record, 0, r);
    put_be(record, 4, 10);
    put_le(record, 8, 1);
    bytes += record;
  }
  put_be(bytes, 24, static_cast<uint32_t>(bytes.size() / 2));
  vd::os::AtomicFileWriter writer;
  ASSERT_TRUE(writer.Open(path));
  ASSERT_TRUE(writer.file().Write(bytes.data(), bytes.size()));
  ASSERT_TRUE(writer.Commit());
}

TEST_F(ShapefileDialogTest, AskingForAnImportReadsTheFileFirst) {
  WritePointShapefile(dir_.File("wells.shp"), 3);
  MakeTable(dir_.File("wells.dbf"), {{"NAME", "Old Well"}});
  const auto press_ok = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(w); d && d->isVisible()) {
        EXPECT_EQ(d->ItemText(D::kToEdit), "3");
        EXPECT_EQ(d->ItemText(D::kNameEdit), "%NAME%");
        d->SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
      }
  };
  QTimer::singleShot(0, press_ok);
  std::string error;
  const std::optional<ShapefileImportOptions> options =
      AskShapefileImport(dir_.File("wells.shp"), nullptr, &error);
  ASSERT_TRUE(options.has_value()) << error;
  EXPECT_EQ(options->last_record, 3);
  EXPECT_EQ(options->category_template, "Point");

  EXPECT_FALSE(AskShapefileImport(dir_.File("missing.shp"), nullptr, &error));
  EXPECT_EQ(error, "Failed to open Shapefile");
}

TEST_F(ShapefileDialogTest, TheExportOffersOnlyTheKindsPresent) {
  using O = CDlgShapefileOutput;
  const int radios[] = {O::kMarksRadio, O::kRoutesRadio, O::kTracksRadio, O::kClosedRoutesRadio,
                        O::kClosedTracksRadio};
  const struct {
    int mask;
    int pick;  // radio clicked, 0 for none
    std::optional<ShapeExportKind> kind;
  } cases[] = {
      {ShapeKindBit(kShapeFreeMarks) | ShapeKindBit(kShapeOpenTracks), 0, kShapeFreeMarks},
      {ShapeKindBit(kShapeFreeMarks) | ShapeKindBit(kShapeOpenTracks), O::kTracksRadio,
       kShapeOpenTracks},
      {ShapeKindBit(kShapeOpenRoutes) | ShapeKindBit(kShapeClosedRoutes), O::kClosedRoutesRadio,
       kShapeClosedRoutes},
      {ShapeKindBit(kShapeClosedTracks) | ShapeKindBit(kShapeOpenRoutes), O::kClosedTracksRadio,
       kShapeClosedTracks},
      {ShapeKindBit(kShapeClosedTracks) | ShapeKindBit(kShapeOpenRoutes), 0, kShapeOpenRoutes},
      {0, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    DrivenOutput dialog(
        [&](DrivenOutput& d) {
          for (int bit = 0; bit < 5; ++bit)
            EXPECT_EQ(d.Enabled(radios[bit]), (c.mask >> bit & 1) != 0) << c.mask << " " << bit;
          if (c.pick) d.Click(c.pick);
          d.Click(vd::ui::kIdOk);
        },
        c.mask);
    ASSERT_EQ(dialog.DoModal(), vd::ui::kIdOk);
    EXPECT_EQ(dialog.kind(), c.kind) << c.mask << " " << c.pick;
  }

  // Through the export's chooser: Cancel gives nothing.
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(w); d && d->isVisible())
        d->SendCommand(vd::ui::kIdCancel, vd::ui::kBnClicked);
  });
  EXPECT_EQ(MakeShapeKindChooser(nullptr)(ShapeKindBit(kShapeFreeMarks) | 2), std::nullopt);
}

}  // namespace
