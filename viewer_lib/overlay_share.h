#pragma once
// Sharing a list of overlay objects as a file: a share item names the file, types it and knows
// how to write it. The share facility of this desktop is a save dialog that offers the name;
// once the user has chosen where, the item's writer writes the file there (status 0), and a
// writer that fails turns the status into -1 and is reported. Cancelling gives status 1 and
// writes nothing.
#include <functional>
#include <memory>
#include <string>

class QWidget;

// "application/gpx+xml" for "gpx", "text/plain" for "txt", "application/vnd.vardune.dvtf" for
// "dvtf", "application/vnd.vardune.qct" for "qct" (extensions in any case), else "*/*".
std::string ShareMimeType(const std::string& file_name);

class CShareItem {
 public:
  // writer(path) writes the file; true when it was written in full.
  CShareItem(std::string file_name, std::function<bool(const std::string& path)> writer);

  // The facility's report: with status 0 the writer writes to path; the status afterwards.
  int OnShared(int status, const std::string& path);

  const std::string& file_name() const { return file_name_; }
  const std::string& mime_type() const { return mime_type_; }

 private:
  std::string file_name_;
  std::string mime_type_;
  std::function<bool(const std::string& path)> writer_;
};

// Hands the item to the share facility over the owner window; the item is gone afterwards,
// whatever happened. Returns the status (0 shared, 1 cancelled, -1 the file could not be
// written, which the user is told).
int ShareFile(QWidget* owner, std::unique_ptr<CShareItem> item);
