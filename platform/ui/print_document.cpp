#include "platform/ui/print_document.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <algorithm>

#include "platform/os/files.h"

namespace vd::ui {

struct PrintDocument::PdfTarget {
  std::string path;
  double width_mm = 0;
  double height_mm = 0;
  int dpi = 0;
  vd::os::AtomicFileWriter file;
  QFile qfile;
  std::unique_ptr<QPdfWriter> writer;

  bool Open(const std::string& title) {
    if (!file.Open(path)) return false;
    if (!qfile.open(file.file().fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
      file.Discard();
      return false;
    }
    writer = std::make_unique<QPdfWriter>(&qfile);
    writer->setResolution(std::max(dpi, 1));
    writer->setTitle(QString::fromStdString(title));
    const bool landscape = width_mm > height_mm;
    const QPageSize size(QSizeF(std::min(width_mm, height_mm), std::max(width_mm, height_mm)),
                         QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    writer->setPageLayout(QPageLayout(size,
                                      landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                      QMarginsF(), QPageLayout::Millimeter));
    return true;
  }

  // Finishes (`keep`) or drops the file; the writer must have ended painting.
  bool Close(bool keep) {
    writer.reset();
    const bool flushed = qfile.isOpen() && qfile.flush();
    qfile.close();
    if (keep && flushed) return file.Commit();
    file.Discard();
    return false;
  }
};

PrintDocument::PrintDocument(QPrinter& printer) : printer_(&printer) {}

PrintDocument::PrintDocument(const std::string& pdf_path, double width_mm, double height_mm,
                             int dpi)
    : pdf_(std::make_unique<PdfTarget>()) {
  pdf_->path = pdf_path;
  pdf_->width_mm = width_mm;
  pdf_->height_mm = height_mm;
  pdf_->dpi = dpi;
}

PrintDocument::~PrintDocument() {
  if (painter_) Abort();
}

bool PrintDocument::StartDoc(const std::string& title) {
  if (painter_) return false;
  if (pdf_) {
    if (pdf_->width_mm <= 0 || pdf_->height_mm <= 0 || !pdf_->Open(title)) return false;
    device_ = pdf_->writer.get();
  } else {
    printer_->setDocName(QString::fromStdString(title));
    device_ = printer_;
  }
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(device_)) {
    painter_.reset();
    if (pdf_) pdf_->Close(false);
    return false;
  }
  pages_started_ = 0;
  return true;
}

Surface* PrintDocument::StartPage() {
  if (!painter_ || page_) return nullptr;
  // Beginning to paint opened the first page.
  if (pages_started_ > 0 && !device_->newPage()) return nullptr;
  ++pages_started_;
  page_ = std::make_unique<Surface>(*painter_);
  return page_.get();
}

bool PrintDocument::EndPage() {
  if (!page_) return false;
  page_.reset();
  return true;
}

bool PrintDocument::EndDoc() {
  if (!painter_) return false;
  page_.reset();
  bool ok = painter_->end();
  painter_.reset();
  if (pdf_) return pdf_->Close(ok);
  return ok && printer_->printerState() != QPrinter::Error;
}

void PrintDocument::Abort() {
  if (!painter_) return;
  page_.reset();
  if (printer_) printer_->abort();
  painter_->end();
  painter_.reset();
  if (pdf_) pdf_->Close(false);
}

}  // namespace vd::ui
