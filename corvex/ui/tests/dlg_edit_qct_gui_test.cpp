// Editing a chart file's texts and datum shift: where changed texts go, what is refused, and
// that a file that is no chart is left alone.
#include "corvex/ui/dlg_edit_qct.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "overlays/outline/old_chart_outline.h"
#include "charts/quick_chart_header.h"
#include "platform/os/files.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/responder.h"
#include "platform/ui/window_messages.h"
#include "tests/chart_fixture.h"
#include "tests/temp_dir.h"

namespace {

using D = CDlgEditQCT;
constexpr int kTitle = D::kFirstField + 0;
constexpr int kName = D::kFirstField + 1;
constexpr int kIdent = D::kFirstField + 2;
constexpr int kKeywords = D::kFirstField + 5;
constexpr int kCopyright = D::kFirstField + 6;
constexpr int kType = D::kFirstField + 13;

struct Boxes : vd::ui::DialogResponder {
  std::vector<std::string> shown;
  int MessageBox(const vd::ui::MessageBoxRequest& request) override {
    shown.push_back(request.text);
    return vd::ui::kIdNo;
  }
};

class DrivenEdit : public CDlgEditQCT {
 public:
  using Act = std::function<void(DrivenEdit&)>;
  DrivenEdit(COldChartOutline& outline, Act act)
      : CDlgEditQCT(outline, nullptr), act_(std::move(act)) {}
  bool OnInitDialog(QWidget* focus, intptr_t param) override {
    CDlgEditQCT::OnInitDialog(focus, param);
    act_(*this);
    if (!dialog_window()->ended()) EndDialog(vd::ui::kIdCancel);
    return true;
  }
  bool Enabled(int id) const { return GetItem(id)->isEnabled(); }
  void Ok() { OnOK(); }

 private:
  Act act_;
};

class EditMapDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::test::ChartFixture chart;
    chart.texts = {{kQctTitle, "Western Approaches"},
                   {kQctIdentifier, "WA-0042"},
                   {kQctDescription, "rocks"},
                   {kQctCopyright, "(c) Survey"}};
    chart.extension = true;
    chart.map_type = "NAUT";
    chart.datum_shift = QctDatumShift{0.001, -0.002};
    ASSERT_TRUE(vd::test::WriteChartFixture(path_, chart));
    outline_.chart_path = path_;
  }
  QuickChartHeader Header() const {
    std::string bytes;
    EXPECT_TRUE(vd::os::ReadWholeFile(path_, bytes));
    QuickChartHeader header;
    header.FromBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
    return header;
  }
  std::string TextAt(uint32_t offset) const {
    std::string bytes;
    EXPECT_TRUE(vd::os::ReadWholeFile(path_, bytes));
    return offset == 0 || offset >= bytes.size() ? "" : std::string(bytes.c_str() + offset);
  }
  uint64_t Size() const { return vd::os::FileSize(path_).value_or(0); }
  int Run(const DrivenEdit::Act& act) {
    DrivenEdit dialog(outline_, act);
    return dialog.DoModal();
  }

  vd::test::TempDir dir_;
  const std::string path_ = dir_.File("chart.qct");
  COldChartOutline outline_;
  Boxes boxes_;
  vd::ui::ScopedResponder responder_{&boxes_};
};

TEST_F(EditMapDataTest, ShowsFieldsAndWritesLongerAtTheEndShorterInPlace) {
  const QuickChartHeader before = Header();
  const uint64_t size = Size();
  std::string name, type, lat, copyright_enabled;
  ASSERT_EQ(Run([&](DrivenEdit& d) {
              name = d.GetItemText(kName);
              type = d.GetItemText(kType);
              lat = d.GetItemText(D::kShiftLatEdit);
              copyright_enabled = d.Enabled(kCopyright) ? "yes" : "no";
              d.SetItemText(kTitle, "Western Approaches to the Channel");
              d.SetItemText(kIdent, "WA-7");
              d.SetItemText(kKeywords, "");
              d.SetItemText(D::kShiftLatEdit, "-0.12");
              d.Ok();
            }),
            vd::ui::kIdOk);
  EXPECT_EQ(name, "Western Approaches");  // no name: the title
  EXPECT_EQ(type, "NAUT");
  EXPECT_EQ(lat, "-0.06");
  EXPECT_EQ(copyright_enabled, "no");

  const QuickChartHeader after = Header();
  EXPECT_GE(after.title, size);
  EXPECT_EQ(TextAt(after.title), "Western Approaches to the Channel");
  EXPECT_EQ(after.identifier, before.identifier);
  EXPECT_EQ(TextAt(after.identifier), "WA-7");
  EXPECT_EQ(after.description, 0u);
  EXPECT_EQ(after.copyright, before.copyright);
  EXPECT_EQ(outline_.title, "Western Approaches to the Channel");
  ASSERT_TRUE(outline_.has_datum_shift);
  EXPECT_DOUBLE_EQ(outline_.shift_lat, 0.002);
  EXPECT_DOUBLE_EQ(outline_.shift_lon, -0.002);
}

TEST_F(EditMapDataTest, SharedTextIsNeverOverwrittenInPlace) {
  // The name points at the title's string.
  std::string bytes;
  ASSERT_TRUE(vd::os::ReadWholeFile(path_, bytes));
  std::memcpy(bytes.data() + kQctName, bytes.data() + kQctTitle, 4);
  ASSERT_TRUE(vd::os::SaveFileAtomically(path_, bytes));
  const uint32_t shared = Header().title;
  ASSERT_EQ(Run([](DrivenEdit& d) {
              d.SetItemText(kName, "West");
              d.Ok();
            }),
            vd::ui::kIdOk);
  const QuickChartHeader after = Header();
  EXPECT_EQ(after.title, shared);
  EXPECT_EQ(TextAt(after.title), "Western Approaches");
  EXPECT_NE(after.name, shared);
  EXPECT_EQ(TextAt(after.name), "West");
}

TEST_F(EditMapDataTest, RefusesBadShiftAndLeavesNonChartsAlone) {
  ASSERT_EQ(Run([&](DrivenEdit& d) {
              d.SetItemText(D::kShiftLonEdit, "east");
              d.Ok();
            }),
            vd::ui::kIdCancel);
  EXPECT_EQ(boxes_.shown, std::vector<std::string>{"Datum shift not understood"});

  const std::string junk = "not a chart at all, just some text long enough";
  ASSERT_TRUE(vd::os::SaveFileAtomically(path_, junk));
  std::string label;
  bool title_enabled = true;
  EXPECT_EQ(Run([&](DrivenEdit& d) {
              label = d.GetItemText(D::kFileText);
              title_enabled = d.Enabled(kTitle);
              d.Ok();
            }),
            vd::ui::kIdOk);
  EXPECT_EQ(label, "Not a QuickChart file: \"" + path_ + "\"");
  EXPECT_FALSE(title_enabled);
  std::string now;
  ASSERT_TRUE(vd::os::ReadWholeFile(path_, now));
  EXPECT_EQ(now, junk);
}

TEST_F(EditMapDataTest, PrepareRefusesMissingAndLockedFiles) {
  EXPECT_TRUE(CDlgEditQCT::PrepareFile(path_));
  EXPECT_FALSE(CDlgEditQCT::PrepareFile(dir_.File("none.qct")));
  const int writer = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(::flock(writer, LOCK_EX), 0);
  EXPECT_FALSE(CDlgEditQCT::PrepareFile(path_));
  ::close(writer);
  EXPECT_EQ(boxes_.shown, (std::vector<std::string>{"Can't access " + dir_.File("none.qct"),
                                                    "Can't open: " + path_}));
}

}  // namespace
