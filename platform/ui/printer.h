#pragma once
// The program's printer: the one printer set-up that every print command uses, changed by the
// print set-up and print dialogs (through the current Responder) and kept between runs as two
// opaque blocks.
//
// The device block starts with the printer's name, zero-terminated, followed by the set-up as
// "key=value" lines (page size, orientation, resolution, colour, duplex, copies, margins); the
// names block holds the output file name, zero-terminated (empty when printing to a printer).
// Reading blocks back takes what it understands and ignores the rest, so a damaged or foreign
// block never leaves the printer half set.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/geometry.h"

class QPrinter;

namespace vd::ui {

class Printer {
 public:
  // The program's printer (UI thread), made on first use.
  static Printer& Current();

  QPrinter& device() { return *device_; }
  // The printer's name; empty when the output goes to a file.
  std::string Name() const;
  // Whether pages can be started on it now (an installed printer, or a file to write).
  bool Usable() const;
  // The printable area of a page in 1/100 inch; empty when the printer has none.
  Size PrintableSize() const;

  std::vector<uint8_t> DeviceBlock() const;
  std::vector<uint8_t> NamesBlock() const;
  // Takes the set-up of the blocks; false (nothing changed) when they hold none.
  bool Select(const std::vector<uint8_t>& device, const std::vector<uint8_t>& names);

  Printer();
  ~Printer();
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

 private:
  QPrinter* device_;
};

// The device's dots per inch across and down.
Size PrinterResolution(QPrinter& device);
// The pages the print dialog asked for; false when it asked for all of them.
bool PrintsPageRange(QPrinter& device, int& first, int& last);

}  // namespace vd::ui
