#pragma once
// The user's printer choice kept between runs in a file of its own ("printersettings" in the
// folder "printer settings" of the data folder). The choice is two opaque blocks that the
// program's printing glue makes from its printer set-up and turns back into one: the device
// block, which starts with the printer's name (zero-terminated), and the names block. The file
// holds int32 size of the device block, its bytes, int32 size of the names block, its bytes
// (little-endian), and is always written whole under a temporary name and renamed.
#include <cstdint>
#include <string>
#include <vector>

// The program's current printer, as the two blocks.
struct PrinterBlocks {
  std::vector<uint8_t> device;
  std::vector<uint8_t> names;
  bool empty() const { return device.empty() && names.empty(); }
};

// Where the program keeps its current printer.
class CPrinterHost {
 public:
  virtual PrinterBlocks GetPrinterDeviceDefaults() = 0;
  virtual void SelectPrinter(const PrinterBlocks& printer) = 0;

 protected:
  ~CPrinterHost() = default;
};

class CPrinterSettings {
 public:
  static constexpr char kFolderName[] = "printer settings";
  static constexpr char kFileName[] = "printersettings";
  static constexpr char kNoPrinter[] = "printer not set...";
  // A block larger than this is no printer set-up.
  static constexpr int32_t kMaxBlockSize = 1 << 20;

  // data_folder: the folder that holds kFolderName.
  CPrinterSettings(CPrinterHost& host, std::string data_folder);
  // Gives the program back the printer it had before Apply.
  ~CPrinterSettings();
  CPrinterSettings(const CPrinterSettings&) = delete;
  CPrinterSettings& operator=(const CPrinterSettings&) = delete;

  // Reads the saved printer. When the file can't be read, or holds sizes its bytes do not
  // bear out, the program's current printer is copied instead and the error returned (errno
  // style; -1 for a malformed file). 0 when read.
  int Load(const std::string& file_name);
  // Writes the blocks when both are there; 0, or the error.
  int Save(const std::string& file_name);
  // Copies the program's current printer.
  void CopyDefaults();
  // Makes the saved printer the program's, remembering the program's own.
  void Apply();
  // Gives the program back the printer remembered by Apply, once.
  void Restore();
  // The name at the start of the device block; kNoPrinter when there is none.
  std::string GetPrinterName() const;
  void SetFileName(const std::string& file_name) { file_name_ = file_name; }
  const std::string& file_name() const { return file_name_; }
  const PrinterBlocks& blocks() const { return blocks_; }

 private:
  std::string FilePath(const std::string& file_name) const;

  CPrinterHost& host_;
  std::string folder_;
  std::string file_name_;
  PrinterBlocks blocks_;
  PrinterBlocks saved_;  // the program's own while Apply is in force
  bool applied_ = false;
};
