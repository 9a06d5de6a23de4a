// Printed documents: PDF files and a printer (a PDF-writing one, so no printer is needed).
#include <gtest/gtest.h>

#include <QPrinter>
#include <string>
#include <vector>

#include "platform/os/files.h"
#include "platform/ui/print_document.h"
#include "tests/temp_dir.h"

namespace vd::ui {
namespace {

void DrawSomePrimitives(Surface& page) {
  page.FillRect({100, 100, 400, 300}, 0x00FF00);
  page.SelectPen({LineStyle::Dash, 0, 0x0000FF});
  page.MoveTo({100, 500});
  page.LineTo({900, 600});
  page.Ellipse({500, 100, 800, 400});
  page.SelectFont({"Times New Roman", -60});
  page.TextOut({100, 700}, "Page text");
}

std::string ReadAll(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(vd::os::ReadWholeFile(path, bytes));
  return bytes;
}

TEST(PrintDocumentTest, APdfOfAFewPrimitivesIsWrittenWhenTheDocumentEnds) {
  vd::test::TempDir dir;
  const std::string path = dir.File("out.pdf");
  PrintDocument doc(path, 210, 297, 300);
  ASSERT_TRUE(doc.StartDoc("Chart"));
  for (int i = 0; i < 2; ++i) {
    Surface* page = doc.StartPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(doc.StartPage(), nullptr);  // one page at a time
    EXPECT_EQ(page->DpiX(), 300);
    EXPECT_NEAR(page->DeviceSize().cx, 210 * 300 / 25.4, 2);
    EXPECT_NEAR(page->DeviceSizeMm().cy, 297, 1);
    DrawSomePrimitives(*page);
    EXPECT_TRUE(doc.EndPage());
  }
  EXPECT_FALSE(vd::os::FileExists(path));  // nothing under the final name before the end
  ASSERT_TRUE(doc.EndDoc());
  const std::string pdf = ReadAll(path);
  EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
  EXPECT_GT(pdf.size(), 1000u);
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), entries));
  EXPECT_EQ(entries.size(), 1u);  // no temporary file left
}

TEST(PrintDocumentTest, AnAbortedOrUnfinishedDocumentLeavesTheTargetAsItWas) {
  vd::test::TempDir dir;
  const std::string path = dir.File("out.pdf");
  ASSERT_TRUE(vd::os::SaveFileAtomically(path, "old"));
  {
    PrintDocument doc(path, 100, 50, 150);
    ASSERT_TRUE(doc.StartDoc("Aborted"));
    DrawSomePrimitives(*doc.StartPage());
    doc.Abort();
    EXPECT_FALSE(doc.EndDoc());
  }
  {
    PrintDocument doc(path, 100, 50, 150);
    ASSERT_TRUE(doc.StartDoc("Dropped"));
    DrawSomePrimitives(*doc.StartPage());
  }
  EXPECT_EQ(ReadAll(path), "old");
  std::vector<vd::os::DirEntry> entries;
  ASSERT_TRUE(vd::os::ListFolder(dir.path(), entries));
  EXPECT_EQ(entries.size(), 1u);

  PrintDocument nowhere(dir.File("no/such/folder/out.pdf"), 100, 50, 150);
  EXPECT_FALSE(nowhere.StartDoc("x"));
  EXPECT_EQ(nowhere.StartPage(), nullptr);
}

TEST(PrintDocumentTest, LandscapePagesKeepTheirShape) {
  vd::test::TempDir dir;
  PrintDocument doc(dir.File("wide.pdf"), 297, 210, 100);
  ASSERT_TRUE(doc.StartDoc("Wide"));
  Surface* page = doc.StartPage();
  ASSERT_NE(page, nullptr);
  EXPECT_GT(page->DeviceSize().cx, page->DeviceSize().cy);
  EXPECT_TRUE(doc.EndDoc());
}

TEST(PrintDocumentTest, APrinterPrintsThroughTheSameSurface) {
  vd::test::TempDir dir;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(dir.File("printer.pdf")));
  PrintDocument doc(printer);
  ASSERT_TRUE(doc.StartDoc("Printed"));
  Surface* page = doc.StartPage();
  ASSERT_NE(page, nullptr);
  // Hundredths of an inch with y growing downwards, as pages are laid out.
  Mapping m;
  m.window_extent = {100, 100};
  m.viewport_extent = {page->DpiX(), page->DpiY()};
  page->SetMapping(m);
  DrawSomePrimitives(*page);
  EXPECT_TRUE(doc.EndPage());
  ASSERT_TRUE(doc.EndDoc());
  EXPECT_EQ(printer.docName(), QStringLiteral("Printed"));
  EXPECT_EQ(ReadAll(dir.File("printer.pdf")).rfind("%PDF", 0), 0u);
}

}  // namespace
}  // namespace vd::ui
