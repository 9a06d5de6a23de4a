// The projection choice: its stored form, what it does to a CProjection, the parameter line
// and datum file of map import, and what the dialog shows, refuses and stores.
#include "corvex/ui/dlg_projection.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QPushButton>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/persistent_value.h"
#include "geodesy/projection.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/responder.h"
#include "tests/temp_dir.h"

namespace {

using D = CDlgProjection;
using K = ProjectionChoice;

class DrivenProjection : public CDlgProjection {
 public:
  using Act = std::function<void(DrivenProjection&)>;
  explicit DrivenProjection(Act act) : CDlgProjection(nullptr), act_(std::move(act)) {}
  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    CDlgProjection::OnInitDialog(focus, param);
    act_(*this);
    if (!dialog_window()->ended()) EndDialog(vd::ui::kIdCancel);
    return true;
  }
  bool Enabled(int id) const { return GetItem(id)->isEnabled(); }
  void Click(int id) { qobject_cast<QAbstractButton*>(GetItem(id))->click(); }

 private:
  Act act_;
};

struct Answers : vd::ui::DialogResponder {
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    texts.push_back(request.text);
    return vd::ui::kIdOk;
  }
  std::optional<std::string> ChooseFile(const vd::ui::FileDialogRequest& request) override {
    filters.push_back(request.filter);
    return chosen;
  }
  std::vector<std::string> texts, filters;
  std::optional<std::string> chosen;
};

class ProjectionDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { vd::SetProfileLocation(vd::kDefaultProfileKey, dir_.path()); }
  void Store(const std::string& text) {
    vd::OpenAppProfile().SetString(vd::kSettingsSection, kDefaultProjectionSetting, text);
  }
  std::string Stored() const {
    return vd::OpenAppProfile()
        .GetString(vd::kSettingsSection, kDefaultProjectionSetting)
        .value_or("(none)");
  }
  std::string Read(const std::string& path) const {
    std::string text;
    return vd::os::ReadWholeFile(path, text) ? text : "(missing)";
  }

  vd::test::TempDir dir_;
  Answers answers_;
  vd::ui::ScopedResponder responder_{&answers_};
};

void ExpectSameForward(const CProjection& a, const CProjection& b, double lat, double lon) {
  double ax = 0, ay = 0, bx = 0, by = 0;
  ASSERT_TRUE(a.Forward(lat, lon, ax, ay));
  ASSERT_TRUE(b.Forward(lat, lon, bx, by));
  EXPECT_NEAR(ax, bx, 1e-6);
  EXPECT_NEAR(ay, by, 1e-6);
}

TEST_F(ProjectionDialogTest, AStoredNad27UtmZone18OpensAppliesAndWritesAsSuch) {
  Store("NAD27|||1373|18|");
  DrivenProjection dialog([](DrivenProjection& d) {
    EXPECT_EQ(d.dialog_window()->CheckState(D::kUtmRadio), 1);
    EXPECT_EQ(d.GetItemText(D::kDatumCombo), "NAD27");
    EXPECT_EQ(d.GetItemText(D::kZoneEdit), "18");
    EXPECT_TRUE(d.Enabled(D::kZoneEdit));
    EXPECT_FALSE(d.Enabled(D::kPrjPathEdit));
    d.Click(vd::ui::kIdOk);
  });
  ASSERT_EQ(dialog.DoModal(), vd::ui::kIdOk);
  EXPECT_EQ(Stored(), "NAD27|||1373|18|");

  CProjection chosen, clarke, grs80;
  chosen.SetOsgbGrid();  // replaced by the choice
  ASSERT_TRUE(dialog.ApplyToProjection(chosen));
  ASSERT_TRUE(clarke.SetFromProjString("+proj=utm +zone=18 +ellps=clrk66"));
  ASSERT_TRUE(grs80.SetUtmZone(18));
  ExpectSameForward(chosen, clarke, 40.0, -75.0);
  double x = 0, y = 0, gx = 0, gy = 0;
  chosen.Forward(40.0, -75.0, x, y);
  grs80.Forward(40.0, -75.0, gx, gy);
  EXPECT_GT(std::abs(y - gy), 1.0);  // the Clarke ellipsoid, not GRS80

  const std::string path = dir_.File("default_proj.dat");
  ASSERT_TRUE(dialog.WriteProjectionFile(path));
  EXPECT_EQ(Read(path), "+proj=utm +zone=18 +ellps=clrk66\n");
  EXPECT_EQ(Read(dir_.File("Datum.txt")), "NAD27");
}

TEST_F(ProjectionDialogTest, EachKindAppliesAndWritesItsLine) {
  const struct {
    ProjectionChoice choice;
    bool applies;
    std::optional<std::string> line;
    const char* datum_file;
  } cases[] = {
      {{"WGS84", "", "", K::kLatLon, 0}, true, "+proj=latlong +datum=WGS84", "WGS84"},
      {{"NAD27", "", "", K::kLatLon, 0}, true, "+proj=latlong +datum=NAD27", "NAD27"},
      {{"my NAD27 datum", "", "", K::kLatLon, 0}, true, "+proj=latlong +datum=WGS84",
       "my NAD27 datum"},
      {{"WGS84", "", "", K::kUtm, 30}, true, "+proj=utm +zone=30 +ellps=GRS80", "WGS84"},
      {{"WGS84", "", "", K::kUtm, 0}, false, std::nullopt, nullptr},
      {{"WGS84", "", "", K::kUtm, 61}, false, std::nullopt, nullptr},
      {{"WGS84", "", "", K::kOsgb, 0}, true,
       "+proj=tmerc +ellps=airy +lat_0=49N +lon_0=2W +k=0.9996012717 +x_0=400000 "
       "+y_0=-100000",
       "OSGB"},
      {{"WGS84", "", "+proj=utm +zone=31 +ellps=WGS84", K::kProjParameters, 0}, true,
       "+proj=utm +zone=31 +ellps=WGS84", "WGS84"},
      {{"WGS84", "", "+proj=nonsense", K::kProjParameters, 0}, false, "+proj=nonsense", "WGS84"},
      {{"WGS84", "/nowhere/a.prj", "", K::kPrjFile, 0}, false, std::nullopt, nullptr},
      {{"WGS84", "", "", 999, 0}, false, std::nullopt, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.choice.Format());
    CProjection projection;
    EXPECT_EQ(c.choice.ApplyTo(projection), c.applies);
    std::string datum;
    EXPECT_EQ(c.choice.ProjLine(&datum), c.line);
    if (c.datum_file) {
      EXPECT_EQ(datum, c.datum_file);
    }
  }
}

TEST_F(ProjectionDialogTest, TheSettingReadsBackFieldByField) {
  const struct {
    const char* text;
    ProjectionChoice expected;
  } cases[] = {
      {"OSGB|/a/b.prj|+proj=x|1374|7|", {"OSGB", "/a/b.prj", "+proj=x", K::kOsgb, 7}},
      {"NAD27|||1373|18", {"NAD27", "", "", K::kUtm, 18}},
      {"NAD27|", {"NAD27", "", "", K::kLatLon, 0}},
      {"WGS84|||13x|z|", {"WGS84", "", "", 13, 0}},
  };
  for (const auto& c : cases) {
    const ProjectionChoice got = ProjectionChoice::Parse(c.text);
    EXPECT_EQ(got.datum, c.expected.datum) << c.text;
    EXPECT_EQ(got.prj_path, c.expected.prj_path) << c.text;
    EXPECT_EQ(got.proj_text, c.expected.proj_text) << c.text;
    EXPECT_EQ(got.kind, c.expected.kind) << c.text;
    EXPECT_EQ(got.zone, c.expected.zone) << c.text;
  }
  const ProjectionChoice round{"NAD27", "/x y/z.prj", "+proj=utm +zone=2", K::kPrjFile, 2};
  EXPECT_EQ(ProjectionChoice::Parse(round.Format()).Format(), round.Format());
}

TEST_F(ProjectionDialogTest, OsgbForcesItsDatumAndOtherKindsEnableTheirFields) {
  DrivenProjection dialog([this](DrivenProjection& d) {
    EXPECT_EQ(d.dialog_window()->CheckState(D::kLatLonRadio), 1);  // nothing stored
    EXPECT_EQ(d.GetItemText(D::kDatumCombo), "WGS84");
    d.Click(D::kOsgbRadio);
    EXPECT_EQ(d.GetItemText(D::kDatumCombo), "OSGB");
    EXPECT_FALSE(d.Enabled(D::kDatumCombo));
    d.Click(D::kProjRadio);
    EXPECT_TRUE(d.Enabled(D::kDatumCombo));
    EXPECT_TRUE(d.Enabled(D::kProjTextEdit));
    EXPECT_FALSE(d.Enabled(D::kBrowseButton));
    d.Click(D::kPrjFileRadio);
    EXPECT_TRUE(d.Enabled(D::kBrowseButton));
    answers_.chosen = "/data/rivers.prj";
    d.Click(D::kBrowseButton);
    EXPECT_EQ(d.GetItemText(D::kPrjPathEdit), "/data/rivers.prj");
    d.Click(vd::ui::kIdOk);
  });
  ASSERT_EQ(dialog.DoModal(), vd::ui::kIdOk);
  ASSERT_EQ(answers_.filters.size(), 1u);
  EXPECT_NE(answers_.filters[0].find("*.prj"), std::string::npos);
  EXPECT_EQ(Stored(), "OSGB|/data/rivers.prj||1375|0|");
  EXPECT_FALSE(dialog.WriteProjectionFile(dir_.File("p.dat")));  // no line for a .prj
}

TEST_F(ProjectionDialogTest, AZoneOutOfRangeOrABarInATextIsRefused) {
  const struct {
    int field;
    const char* text;
    int radio;
    const char* message;
  } cases[] = {
      {D::kZoneEdit, "0", D::kUtmRadio, "The UTM zone must be from 1 to 60."},
      {D::kZoneEdit, "61", D::kUtmRadio, "The UTM zone must be from 1 to 60."},
      {D::kProjTextEdit, "+proj=a|b", D::kProjRadio, "The projection may not contain '|'."},
      {D::kPrjPathEdit, "/a|b.prj", D::kPrjFileRadio, "The projection may not contain '|'."},
  };
  for (const auto& c : cases) {
    answers_.texts.clear();
    Store("WGS84|||1372|0|");
    DrivenProjection dialog([&](DrivenProjection& d) {
      d.Click(c.radio);
      d.SetItemText(c.field, c.text);
      d.Click(vd::ui::kIdOk);
    });
    EXPECT_EQ(dialog.DoModal(), vd::ui::kIdCancel) << c.text;
    EXPECT_EQ(answers_.texts, std::vector<std::string>{c.message}) << c.text;
    EXPECT_EQ(Stored(), "WGS84|||1372|0|") << c.text;
  }
}

TEST_F(ProjectionDialogTest, TheDefaultMapProjectionCommand) {
  Store("WGS84|||1372|0|");
  // The command runs the dialog itself: OK is pressed once it is up.
  const auto press_ok = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(w); d && d->isVisible())
        d->SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
  };
  // Links planted at the files' names in the temporary folder are replaced, and what they
  // point to left as it was.
  const std::string victim = dir_.File("victim.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "not to be touched"));
  for (const char* name : {"default_proj.dat", "Datum.txt"})
    ASSERT_EQ(::symlink(victim.c_str(), dir_.File(name).c_str()), 0) << name;
  QTimer::singleShot(0, press_ok);
  ASSERT_TRUE(ChooseDefaultMapProjection(nullptr, dir_.path()));
  EXPECT_EQ(Read(dir_.File("default_proj.dat")), "+proj=latlong +datum=WGS84\n");
  EXPECT_EQ(Read(victim), "not to be touched");
  EXPECT_EQ(vd::OpenAppProfile().GetString(vd::kSettingsSection, kDefaultProjDatSetting),
            dir_.File("default_proj.dat"));

  Store("WGS84|/a.prj||1375|0|");
  QTimer::singleShot(0, press_ok);
  EXPECT_FALSE(ChooseDefaultMapProjection(nullptr, dir_.path()));
  EXPECT_EQ(answers_.texts,
            std::vector<std::string>{"Sorry: that projection is not supported for map import\n"});
}

}  // namespace
