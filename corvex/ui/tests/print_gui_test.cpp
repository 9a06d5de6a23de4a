// Printing in the started program: the print commands, the print options dialog, print-area
// mode with its boxes and tool bar, pages written through the printer (into a PDF file, checked
// with an independent reader) and the printer kept from one run to the next.
#include <gtest/gtest.h>

#include <QCheckBox>

#include <QAbstractButton>
#include <QComboBox>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QTimer>
#include <QToolBar>

#include <cmath>
#include <functional>
#include <string>

#include "corvex/map_rect_selection.h"
#include "corvex/ostrel_doc.h"
#include "corvex/ostrel_view.h"
#include "corvex/print_options.h"
#include "corvex/printer_settings.h"
#include "corvex/ui/chart_view_maker.h"
#include "corvex/ui/dlg_print_options.h"
#include "corvex/ui/main_frame.h"
#include "corvex/ui/ostrel_app.h"
#include "corvex/ui/tests/corvex_home.h"
#include "overlays/make_in_document.h"
#include "overlays/obj_track.h"
#include "platform/os/files.h"
#include "platform/os/process.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/printer.h"
#include "tests/chart_fixture.h"

namespace {

using D = CDlgPrintToScale;

// Answers the printer's dialogs without showing them, as the user pressing OK would.
class PrintAnswers : public vd::test::ScriptedAnswers {
 public:
  bool PrintSetup(QWidget* owner, QPrinter& printer) override {
    ++setups;
    return Responder::PrintSetup(owner, printer);
  }
  bool PrintDialog(QWidget* owner, QPrinter& printer, int max_page) override {
    asked_max_page = max_page;
    return print_ok && Responder::PrintDialog(owner, printer, max_page);
  }
  bool PrintPreview(QWidget* owner, QPrinter& printer,
                    const std::function<void(QPrinter&)>& paint) override {
    ++previews;
    return Responder::PrintPreview(owner, printer, paint);
  }
  int setups = 0, previews = 0, asked_max_page = 0;
  bool print_ok = true;
};

using vd::test::OnceUp;

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  pclose(pipe);
  return out;
}

int PdfPages(const std::string& path) {
  const std::string info = Output("pdfinfo '" + path + "' 2>/dev/null");
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

class PrintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd::test::ChartFixture chart;
    chart.width = chart.height = 8;  // 512 pixels, about 3 m each
    chart.georef = vd::test::ChartFixture::LinearGeoref(50.0, -5.0, 0.1 / 3600.0);
    chart.texts = {{kQctName, "Cove"}, {kQctCopyright, "Test Survey"}};
    ShapeChart(chart);
    chart_path_ = home_.File("cove.qct");
    ASSERT_TRUE(vd::test::WriteChartFixture(chart_path_, chart));
    pdf_path_ = home_.File("pages.pdf");
    QPrinter& printer = vd::ui::Printer::Current().device();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf_path_));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    Start({"--no-splash", chart_path_});
  }
  void TearDown() override { Stop(); }
  virtual void ShapeChart(vd::test::ChartFixture&) {}

  void Start(std::vector<std::string> args) {
    app_ = std::make_unique<COstrelApp>();
    app_->SetChartViewMaker(MakeChartViewWidget);
    ASSERT_TRUE(app_->InitInstance(args));
    vd::test::DrainEvents();
  }
  void Stop() {
    if (!app_) return;
    if (app_->GetMainFrame()) app_->GetMainFrame()->CloseFrame();
    app_->ExitInstance();
    app_.reset();
  }
  CMainFrame& frame() { return *app_->GetMainFrame(); }
  COstrelView* view() { return dynamic_cast<COstrelView*>(frame().ActiveChartView()); }
  bool Enabled(int id) { return frame().RouteUpdate(id).enabled; }
  QToolBar* PrintingBar() {
    for (QToolBar* bar : frame().findChildren<QToolBar*>())
      if (bar->objectName() == "Printing") return bar;
    return nullptr;
  }
  // A track across the chart from corner to corner, selected.
  CObjTrack* TrackAcross() {
    COstrelDoc* doc = app_->Document();
    auto* track = MakeInDocument<CObjTrack>(doc);
    track->name = "Walk";
    for (int i = 0; i <= 20; ++i) {
      const double f = i / 20.0;
      track->AddPoint(50.0 - f * 500 * 0.1 / 3600.0, -5.0 + f * 500 * 0.1 / 3600.0, 0, 0, 0, 0);
    }
    track->Select(false);
    return track;
  }

  vd::test::CorvexHome home_;
  PrintAnswers answers_;
  vd::ui::ScopedResponder responder_{&answers_};
  std::unique_ptr<COstrelApp> app_;
  std::string chart_path_, pdf_path_;
};

TEST_F(PrintTest, PrintAreaModeFollowsTheCommandsAndTheToolBar) {
  ASSERT_NE(view(), nullptr);
  ASSERT_NE(view()->chart(), nullptr);
  EXPECT_TRUE(Enabled(COstrelView::kCmdFilePrint));
  EXPECT_TRUE(Enabled(COstrelView::kCmdPrintMap));
  EXPECT_FALSE(Enabled(COstrelView::kCmdPrintPages));
  EXPECT_FALSE(Enabled(COstrelView::kCmdCancelPrint));
  EXPECT_FALSE(Enabled(COstrelView::kCmdPrintTrack));  // nothing selected

  // Cancel in the options: nothing changes. Every check box there says what it is for.
  OnceUp([](vd::ui::DialogWindow& d) {
    for (const QCheckBox* box : d.findChildren<QCheckBox*>())
      EXPECT_FALSE(box->text().isEmpty()) << box->toolTip().toStdString();
  }, false);
  frame().RouteCommand(COstrelView::kCmdPrintMap);
  EXPECT_FALSE(view()->print_area_mode());

  OnceUp([](vd::ui::DialogWindow& d) { EXPECT_EQ(d.ItemText(D::kTitleEdit), "Cove"); }, true);
  frame().RouteCommand(COstrelView::kCmdPrintMap);
  EXPECT_TRUE(view()->print_area_mode());
  ASSERT_EQ(view()->print_boxes().size(), 1u);
  EXPECT_EQ(view()->status_text(), COstrelView::kPrintAreaStatus);
  ASSERT_NE(PrintingBar(), nullptr);
  EXPECT_TRUE(PrintingBar()->isVisibleTo(&frame()));
  EXPECT_TRUE(Enabled(COstrelView::kCmdPrintPages));
  EXPECT_TRUE(Enabled(COstrelView::kCmdPrintPreview));
  EXPECT_TRUE(Enabled(COstrelView::kCmdRemovePage));

  // Removing the only page leaves print-area mode and gives the usual tool bars back.
  frame().RouteCommand(COstrelView::kCmdRemovePage);
  EXPECT_FALSE(view()->print_area_mode());
  EXPECT_FALSE(PrintingBar()->isVisibleTo(&frame()));
  EXPECT_EQ(view()->status_text(), "");

  OnceUp([](vd::ui::DialogWindow&) {}, true);
  frame().RouteCommand(COstrelView::kCmdPrintMap);
  frame().RouteCommand(COstrelView::kCmdCancelPrint);
  EXPECT_FALSE(view()->print_area_mode());
}

// Boxes along a track, two copies: pages numbered over the boxes, each copy again, with the
// chart's copyright, the chart printed on every page and its logo in the corner.
TEST_F(PrintTest, TrackPagesAreNumberedOverTheCopies) {
  QImage logo(100, 50, QImage::Format_RGB32);
  logo.fill(QColor(0, 0, 255));
  for (const char* name : {"cove.qct.vdg", "cove.vdg"})
    ASSERT_TRUE(logo.save(QString::fromStdString(home_.File(name)), "PNG"));
  TrackAcross();
  EXPECT_TRUE(Enabled(COstrelView::kCmdPrintTrack));
  OnceUp(
      [](vd::ui::DialogWindow& d) {
        EXPECT_EQ(d.ItemText(D::kTitleEdit), "Walk");
        d.ControlAs<QAbstractButton>(D::kFixedScaleRadio)->click();
        d.ControlAs<QAbstractButton>(D::kScaleOtherRadio)->click();
        d.SetItemText(D::kScaleEdit, "2000");
        d.SetItemText(D::kCopiesEdit, "2");
      },
      true);
  frame().RouteCommand(COstrelView::kCmdPrintTrack);
  ASSERT_TRUE(view()->print_area_mode());
  const CPrintOptions stored = CPrintOptions::Load();
  EXPECT_EQ(stored.scale, 2000);
  EXPECT_EQ(stored.copies, 2);
  const int boxes = int(view()->print_boxes().size());
  ASSERT_GE(boxes, 2);

  frame().RouteCommand(COstrelView::kCmdPrintPages);
  EXPECT_EQ(answers_.asked_max_page, 2 * boxes);
  EXPECT_FALSE(view()->print_area_mode());
  ASSERT_EQ(PdfPages(pdf_path_), 2 * boxes);
  const std::string text = Output("pdftotext -layout '" + pdf_path_ + "' - 2>/dev/null");
  for (int copy = 0; copy < 2; ++copy) {
    for (int page = 1; page <= boxes; ++page) {
      const std::string title = "Walk. Page " + std::to_string(page) + " of " +
                                std::to_string(boxes) + ". Copyright \xC2\xA9 Test Survey";
      size_t at = 0;
      int seen = 0;
      while ((at = text.find(title, at)) != std::string::npos) ++seen, ++at;
      EXPECT_EQ(seen, 2) << title;
    }
  }
  // The first page shows the chart: colours, not only white paper, under the title.
  ASSERT_EQ(std::system(("pdftoppm -r 30 -f 1 -l 1 -png '" + pdf_path_ + "' '" +
                         home_.File("page") + "'")
                            .c_str()),
            0);
  QImage page(QString::fromStdString(home_.File("page-1.png")));
  ASSERT_FALSE(page.isNull());
  int coloured = 0;
  for (int y = page.height() / 10; y < page.height() / 2; ++y)
    for (int x = 0; x < page.width(); ++x)
      if (QColor(page.pixel(x, y)).saturation() > 40) ++coloured;
  EXPECT_GT(coloured, page.width() * page.height() / 50);
  int logo_pixels = 0;
  for (int y = page.height() / 2; y < page.height(); ++y)
    for (int x = page.width() / 2; x < page.width(); ++x) {
      const QColor c(page.pixel(x, y));
      if (c.blue() > 200 && c.red() < 60 && c.green() < 60) ++logo_pixels;
    }
  EXPECT_GT(logo_pixels, 100);
}

// The preview paints the same pages; cancelling the print dialog writes nothing.
TEST_F(PrintTest, PreviewPaintsThePagesAndACancelledPrintWritesNothing) {
  OnceUp([](vd::ui::DialogWindow&) {}, true);
  frame().RouteCommand(COstrelView::kCmdPrintMap);
  answers_.print_ok = false;
  frame().RouteCommand(COstrelView::kCmdPrintPages);
  EXPECT_FALSE(vd::os::FileExists(pdf_path_));
  EXPECT_FALSE(view()->print_area_mode());

  OnceUp([](vd::ui::DialogWindow&) {}, true);
  frame().RouteCommand(COstrelView::kCmdFilePrint);  // lays out a page first
  ASSERT_TRUE(view()->print_area_mode());
  frame().RouteCommand(COstrelView::kCmdPrintPreview);
  EXPECT_EQ(answers_.previews, 1);
  EXPECT_EQ(PdfPages(pdf_path_), 1);
  EXPECT_FALSE(view()->print_area_mode());
}

// Margins that leave no room on the page: the user is told and no page is laid out.
TEST_F(PrintTest, APageWithoutRoomIsRefused) {
  OnceUp(
      [](vd::ui::DialogWindow& d) {
        d.SetItemText(D::kMarginLeftEdit, "5");
        d.SetItemText(D::kMarginRightEdit, "5");
      },
      true);
  frame().RouteCommand(COstrelView::kCmdPrintMap);
  EXPECT_FALSE(view()->print_area_mode());
  EXPECT_TRUE(view()->print_boxes().empty());
  ASSERT_FALSE(answers_.asked.empty());
  EXPECT_EQ(answers_.asked.back(),
            "The page size is too small, or the margins are too big, or no printer is installed.");
}

// The options dialog refuses what is no number or out of range, and stores negative margins
// as none.
TEST_F(PrintTest, OptionsDialogChecksItsValues) {
  const struct {
    int edit;
    const char* text;
    bool accepted;
  } cases[] = {{D::kCopiesEdit, "0", false},      {D::kCopiesEdit, "1001", false},
               {D::kResolutionEdit, "x", false},  {D::kResolutionEdit, "49", false},
               {D::kMarginTopEdit, "-1", true},   {D::kMarginTopEdit, "abc", false},
               {D::kCopiesEdit, "3", true}};
  for (const auto& c : cases) {
    answers_.asked.clear();
    CPrintOptions options;
    options.margins[CPrintOptions::kMarginTop] = 50;
    std::string title = "T";
    bool ended = false;
    QTimer::singleShot(0, [&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(w); d && d->isVisible()) {
          d->SetItemText(c.edit, c.text);
          d->SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
          ended = d->ended();
          if (!ended) d->SendCommand(vd::ui::kIdCancel, vd::ui::kBnClicked);
          return;
        }
    });
    EXPECT_EQ(EditPrintOptions(&frame(), options, title), c.accepted) << c.text;
    EXPECT_EQ(ended, c.accepted) << c.text;
    EXPECT_EQ(answers_.asked.empty(), c.accepted) << c.text;
    if (c.accepted && c.edit == D::kMarginTopEdit) EXPECT_EQ(options.margins[0], 0);
  }
}

// The image export and relief dialogs store their records on OK only; East lighting is kept as
// a negative contrast and shown positive again.
TEST_F(PrintTest, ImageExportAndReliefDialogsStoreTheirRecords) {
  OnceUp(
      [](vd::ui::DialogWindow& d) {
        EXPECT_EQ(d.ItemText(CDlgImageExport::kOriginalSizeText), "400 by 300");
        d.ControlAs<QComboBox>(CDlgImageExport::kOutputSizeCombo)->setCurrentIndex(2);
        d.ControlAs<QAbstractButton>(CDlgImageExport::kReliefCheck)->click();
      },
      false);
  EXPECT_FALSE(ChooseImageExport(&frame(), 400, 300));
  EXPECT_EQ(CImageExportChoice::Load().shift, 0);
  OnceUp(
      [](vd::ui::DialogWindow& d) {
        auto* sizes = d.ControlAs<QComboBox>(CDlgImageExport::kOutputSizeCombo);
        ASSERT_EQ(sizes->count(), 5);
        EXPECT_EQ(sizes->itemText(4), "25 by 18");
        sizes->setCurrentIndex(2);
        d.ControlAs<QAbstractButton>(CDlgImageExport::kReliefCheck)->click();
      },
      true);
  const std::optional<CImageExportChoice> choice = ChooseImageExport(&frame(), 400, 300);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->shift, 2);
  EXPECT_TRUE(choice->relief);
  EXPECT_EQ(CImageExportChoice::Load().shift, 2);
  EXPECT_TRUE(CImageExportChoice::Load().relief);

  const struct {
    const char* brightness;
    const char* contrast;
    bool east;
    bool accepted;
    int stored_contrast;
  } cases[] = {{"70", "200", true, true, -200},
               {"90", "300", false, true, 300},
               {"49", "150", false, false, 300},
               {"80", "x", false, false, 300}};
  for (const auto& c : cases) {
    bool ended = false;
    QTimer::singleShot(0, [&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = dynamic_cast<vd::ui::DialogWindow*>(w); d && d->isVisible()) {
          d->SetItemText(CDlgReliefShading::kBrightnessEdit, c.brightness);
          d->SetItemText(CDlgReliefShading::kContrastEdit, c.contrast);
          d->ControlAs<QAbstractButton>(c.east ? CDlgReliefShading::kEastRadio
                                               : CDlgReliefShading::kWestRadio)
              ->click();
          d->SendCommand(vd::ui::kIdOk, vd::ui::kBnClicked);
          ended = d->ended();
          if (!ended) d->SendCommand(vd::ui::kIdCancel, vd::ui::kBnClicked);
          return;
        }
    });
    CDlgReliefShading dialog(&frame());
    EXPECT_EQ(dialog.DoModal() == vd::ui::kIdOk, c.accepted) << c.brightness << c.contrast;
    EXPECT_EQ(CReliefOptions::Load().contrast, c.stored_contrast);
  }
  // Reopened: the magnitude shows, East is ticked.
  OnceUp(
      [](vd::ui::DialogWindow& d) {
        EXPECT_EQ(d.ItemText(CDlgReliefShading::kContrastEdit), "300");
        EXPECT_EQ(d.CheckState(CDlgReliefShading::kWestRadio), 1);
      },
      false);
  CDlgReliefShading(&frame()).DoModal();
}

// The printer chosen in one run is the printer of the next; a damaged saved printer leaves the
// program's own and loses nothing else.
TEST_F(PrintTest, ThePrinterIsKeptBetweenRuns) {
  QPrinter& printer = vd::ui::Printer::Current().device();
  printer.setPageSize(QPageSize(QPageSize::A5));
  printer.setPageOrientation(QPageLayout::Landscape);
  Stop();
  const std::string saved = home_.DataFolder() + "/printer settings/printersettings";
  ASSERT_TRUE(vd::os::FileExists(saved));

  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  Start({"--no-splash"});
  EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::A5);
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
  Stop();

  for (const std::string bytes : {std::string("\x10\0\0\0abc", 7), std::string("\xff\xff\xff\x7f", 4),
                                  std::string(8, '\0')}) {
    ASSERT_TRUE(vd::os::SaveFileAtomically(saved, bytes));
    printer.setPageSize(QPageSize(QPageSize::Letter));
    Start({"--no-splash"});
    EXPECT_EQ(printer.pageLayout().pageSize().id(), QPageSize::Letter);
    Stop();
  }
}

// A chart of square ground pixels ruled every 16 pixels: red lines down, green lines across.
class FixedScalePrintTest : public PrintTest {
 protected:
  static constexpr double kLatStep = 0.1 / 3600.0;  // degrees of latitude per chart pixel
  static constexpr int kRule = 16;
  static constexpr uint8_t kBackground = 100, kDown = 0, kAcross = 127;

  void ShapeChart(vd::test::ChartFixture& chart) override {
    const double north = 50.0, west = -5.0;
    const double lon_step = kLatStep / std::cos((north - 256 * kLatStep) * M_PI / 180.0);
    GeorefPolynomial& g = chart.georef;
    g = GeorefPolynomial{};
    g.forward.first[0] = -west / lon_step;
    g.forward.first[2] = 1.0 / lon_step;
    g.forward.second[0] = north / kLatStep;
    g.forward.second[1] = -1.0 / kLatStep;
    g.inverse.first[0] = north;
    g.inverse.first[2] = -kLatStep;
    g.inverse.second[0] = west;
    g.inverse.second[1] = lon_step;
    const int size = chart.width * 64;
    chart.image.assign(size_t(size) * size, kBackground);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        uint8_t& pixel = chart.image[size_t(y) * size + x];
        if (y % kRule == 0) pixel = kAcross;
        if (x % kRule == 0) pixel = kDown;
      }
  }

  // Centres (in pixels along the strip) of the runs of pixels `is_line` picks, leaving out
  // the first and last run, which the page's edge may cut.
  static std::vector<double> LineCentres(const QImage& strip, bool across,
                                         const std::function<bool(QColor)>& is_line) {
    std::vector<double> centres;
    const int length = across ? strip.height() : strip.width();
    int start = -1;
    for (int i = 0; i <= length; ++i) {
      const bool on = i < length && is_line(QColor(across ? strip.pixel(0, i) : strip.pixel(i, 0)));
      if (on && start < 0) start = i;
      if (!on && start >= 0) {
        centres.push_back((start + i - 1) / 2.0);
        start = -1;
      }
    }
    if (centres.size() >= 2) centres = {centres.begin() + 1, centres.end() - 1};
    return centres;
  }
};

// At 1:2000 on A4, the rules on the paper are as far apart as the ground says, to within one
// 300 dpi pixel per 100 mm, across and down the page.
TEST_F(FixedScalePrintTest, TheScaleHoldsOnThePage) {
  constexpr int kScale = 2000, kDpi = 600;
  OnceUp(
      [](vd::ui::DialogWindow& d) {
        d.ControlAs<QAbstractButton>(D::kFixedScaleRadio)->click();
        d.ControlAs<QAbstractButton>(D::kScaleOtherRadio)->click();
        d.SetItemText(D::kScaleEdit, std::to_string(kScale));
        d.SetItemText(D::kCopiesEdit, "1");
      },
      true);
  frame().RouteCommand(COstrelView::kCmdPrintMap);
  ASSERT_TRUE(view()->print_area_mode());
  frame().RouteCommand(COstrelView::kCmdPrintPages);
  ASSERT_EQ(PdfPages(pdf_path_), 1);

  // One strip across the middle of the page and one down it, at 600 dpi.
  const int page_w = int(210 / 25.4 * kDpi), page_h = int(297 / 25.4 * kDpi);
  const auto strip = [&](const char* name, int x, int y, int w, int h) {
    const std::string base = home_.File(name);
    const std::string command = "pdftoppm -r " + std::to_string(kDpi) + " -singlefile -png -x " +
                                std::to_string(x) + " -y " + std::to_string(y) + " -W " +
                                std::to_string(w) + " -H " + std::to_string(h) + " '" +
                                pdf_path_ + "' '" + base + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return QImage(QString::fromStdString(base + ".png"));
  };
  const QImage row = strip("row", 0, page_h / 2 + 7, page_w, 1);
  const QImage column = strip("column", page_w / 2 + 7, 0, 1, page_h);
  ASSERT_FALSE(row.isNull());
  ASSERT_FALSE(column.isNull());

  // Paper millimetres between two rules: 16 pixels of ground at the chart's latitude step.
  const double rule_mm = kRule * kLatStep * 60 * 1852.0 * 1000.0 / kScale;
  const double dots_per_mm = kDpi / 25.4;
  const auto down = [](QColor c) { return c.green() < 120; };
  const auto across = [](QColor c) { return c.green() > 225; };
  const struct {
    const char* name;
    std::vector<double> centres;
  } cases[] = {{"across the page", LineCentres(row, false, down)},
               {"down the page", LineCentres(column, true, across)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_GE(c.centres.size(), 4u);
    const double span_mm = (c.centres.back() - c.centres.front()) / dots_per_mm;
    const double expected_mm = (c.centres.size() - 1) * rule_mm;
    // One 300 dpi pixel per 100 mm.
    EXPECT_NEAR(span_mm, expected_mm, 25.4 / 300 * expected_mm / 100);
    for (size_t i = 1; i < c.centres.size(); ++i)
      EXPECT_NEAR((c.centres[i] - c.centres[i - 1]) / dots_per_mm, rule_mm, 0.1) << i;
  }
}

}  // namespace
