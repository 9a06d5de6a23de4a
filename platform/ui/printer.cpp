#include "platform/ui/printer.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>
#include <map>

#include "platform/os/numbers.h"

namespace vd::ui {
namespace {

constexpr double kHundredthsPerMm = 100.0 / 25.4;
// Bounds of a page read back from a block: larger or smaller is no paper.
constexpr double kMaxPageMm = 10000.0;
constexpr int kMaxResolution = 9600;
constexpr int kMaxCopies = 1000;

std::string ZeroTerminated(const std::vector<uint8_t>& block, size_t& end) {
  const auto zero = std::find(block.begin(), block.end(), uint8_t(0));
  end = size_t(zero - block.begin());
  return std::string(block.begin(), zero);
}

std::vector<uint8_t> Bytes(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

// The "key=value" lines after the name.
std::map<std::string, std::string> Lines(const std::vector<uint8_t>& block, size_t from) {
  std::map<std::string, std::string> values;
  std::string text(block.begin() + std::min(from, block.size()), block.end());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (const size_t equals = line.find('='); equals != std::string::npos)
      values[line.substr(0, equals)] = line.substr(equals + 1);
    start = end + 1;
  }
  return values;
}

bool Number(const std::map<std::string, std::string>& values, const char* key, double low,
            double high, double& out) {
  const auto it = values.find(key);
  double value = 0.0;
  size_t used = 0;
  if (it == values.end() || !vd::os::ParseDouble(it->second, value, &used) ||
      used != it->second.size() || !(value >= low && value <= high)) {
    return false;
  }
  out = value;
  return true;
}

}  // namespace

Printer& Printer::Current() {
  static Printer printer;
  return printer;
}

Printer::Printer() : device_(new QPrinter(QPrinter::HighResolution)) {
  // Without an installed printer the output goes to a PDF file the print dialog names.
  if (QPrinterInfo::availablePrinterNames().isEmpty())
    device_->setOutputFormat(QPrinter::PdfFormat);
}

Printer::~Printer() { delete device_; }

std::string Printer::Name() const {
  if (device_->outputFormat() == QPrinter::PdfFormat) return {};
  return device_->printerName().toStdString();
}

bool Printer::Usable() const {
  if (device_->outputFormat() == QPrinter::PdfFormat) return true;
  return device_->isValid() && !device_->printerName().isEmpty();
}

Size Printer::PrintableSize() const {
  const QRectF area = device_->pageLayout().paintRect(QPageLayout::Millimeter);
  if (!(area.width() > 0) || !(area.height() > 0)) return {};
  return {int(area.width() * kHundredthsPerMm), int(area.height() * kHundredthsPerMm)};
}

std::vector<uint8_t> Printer::DeviceBlock() const {
  const QPageLayout layout = device_->pageLayout();
  const QSizeF page = layout.pageSize().size(QPageSize::Millimeter);
  const QMarginsF margins = layout.margins(QPageLayout::Millimeter);
  std::string text = Name();
  text.push_back('\0');
  text += vd::os::FormatC("page_width_mm=%.3f\npage_height_mm=%.3f\n", page.width(),
                          page.height());
  text += vd::os::FormatC("landscape=%d\nresolution=%d\ncolour=%d\nduplex=%d\ncopies=%d\n",
                          layout.orientation() == QPageLayout::Landscape ? 1 : 0,
                          device_->resolution(), device_->colorMode() == QPrinter::Color ? 1 : 0,
                          int(device_->duplex()), device_->copyCount());
  text += vd::os::FormatC("margin_left_mm=%.3f\nmargin_top_mm=%.3f\nmargin_right_mm=%.3f\n"
                          "margin_bottom_mm=%.3f\n",
                          margins.left(), margins.top(), margins.right(), margins.bottom());
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Printer::NamesBlock() const {
  if (device_->outputFormat() != QPrinter::PdfFormat) return Bytes("");
  return Bytes(device_->outputFileName().toStdString());
}

bool Printer::Select(const std::vector<uint8_t>& device, const std::vector<uint8_t>& names) {
  size_t end = 0;
  const std::string name = ZeroTerminated(device, end);
  const std::map<std::string, std::string> values = Lines(device, end + 1);
  double width = 0, height = 0;
  if (!Number(values, "page_width_mm", 1.0, kMaxPageMm, width) ||
      !Number(values, "page_height_mm", 1.0, kMaxPageMm, height)) {
    return false;
  }
  size_t names_end = 0;
  const std::string output = ZeroTerminated(names, names_end);
  if (!name.empty() && QPrinterInfo::printerInfo(QString::fromStdString(name)).isNull()) {
    // A printer that is gone: the page set-up is still the user's.
  } else if (!name.empty()) {
    device_->setOutputFormat(QPrinter::NativeFormat);
    device_->setPrinterName(QString::fromStdString(name));
  } else {
    device_->setOutputFormat(QPrinter::PdfFormat);
    device_->setOutputFileName(QString::fromStdString(output));
  }
  device_->setPageSize(QPageSize(QSizeF(width, height), QPageSize::Millimeter, QString(),
                                 QPageSize::FuzzyMatch));
  double value = 0;
  if (Number(values, "landscape", 0, 1, value))
    device_->setPageOrientation(value != 0 ? QPageLayout::Landscape : QPageLayout::Portrait);
  if (Number(values, "resolution", 1, kMaxResolution, value)) device_->setResolution(int(value));
  if (Number(values, "colour", 0, 1, value))
    device_->setColorMode(value != 0 ? QPrinter::Color : QPrinter::GrayScale);
  if (Number(values, "duplex", 0, 3, value)) device_->setDuplex(QPrinter::DuplexMode(int(value)));
  if (Number(values, "copies", 1, kMaxCopies, value)) device_->setCopyCount(int(value));
  double left = 0, top = 0, right = 0, bottom = 0;
  if (Number(values, "margin_left_mm", 0, width / 2, left) &&
      Number(values, "margin_top_mm", 0, height / 2, top) &&
      Number(values, "margin_right_mm", 0, width / 2, right) &&
      Number(values, "margin_bottom_mm", 0, height / 2, bottom)) {
    device_->setPageMargins(QMarginsF(left, top, right, bottom), QPageLayout::Millimeter);
  }
  return true;
}

Size PrinterResolution(QPrinter& device) {
  return {std::max(device.logicalDpiX(), 1), std::max(device.logicalDpiY(), 1)};
}

bool PrintsPageRange(QPrinter& device, int& first, int& last) {
  if (device.printRange() != QPrinter::PageRange || device.fromPage() < 1) return false;
  first = device.fromPage();
  last = std::max(device.toPage(), first);
  return true;
}

}  // namespace vd::ui
