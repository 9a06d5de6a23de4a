#pragma once
// A printed document, page by page, on a printer or into a PDF file. Each page is painted
// through a Surface whose device is the page's printable area at the printer's resolution.
// A PDF file appears only when the document ends well (it is written under a temporary name
// and renamed); an aborted or failed document leaves the target as it was.
//
//   PrintDocument doc(printer);
//   if (!doc.StartDoc(title)) ...;            // the printer could not start
//   Surface* page = doc.StartPage();          // null when the page could not start
//   ... draw on *page ...
//   doc.EndPage(); doc.EndDoc();
#include <memory>
#include <string>

#include "platform/ui/surface.h"

class QPrinter;
class QPagedPaintDevice;
class QPainter;

namespace vd::ui {

class PrintDocument {
 public:
  // A printer the caller has set up (chosen in the print dialog or from saved settings).
  explicit PrintDocument(QPrinter& printer);
  // A PDF file of pages `width_mm` x `height_mm` at `dpi` dots per inch, without margins.
  PrintDocument(const std::string& pdf_path, double width_mm, double height_mm, int dpi);
  ~PrintDocument();  // a document not ended is aborted
  PrintDocument(const PrintDocument&) = delete;
  PrintDocument& operator=(const PrintDocument&) = delete;

  bool StartDoc(const std::string& title);
  // The surface of the next page, valid until EndPage; each page starts with a fresh state.
  Surface* StartPage();
  bool EndPage();
  bool EndDoc();
  void Abort();

 private:
  struct PdfTarget;

  QPagedPaintDevice* device_ = nullptr;
  QPrinter* printer_ = nullptr;        // when printing to a printer
  std::unique_ptr<PdfTarget> pdf_;     // when writing a PDF file
  std::unique_ptr<QPainter> painter_;  // active from StartDoc to EndDoc
  std::unique_ptr<Surface> page_;
  int pages_started_ = 0;
};

}  // namespace vd::ui
