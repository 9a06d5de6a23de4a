#pragma once
// Opening a map package (charts/vdpkg_file.h): checks the free space, asks when it is short,
// and downloads the package's files on a background thread while the progress dialog shows
// how far it got. One package downloads at a time; its progress record is the program's.
//
// User-interface thread only.
#include <cstdint>
#include <string>

class CDownloadProgress;
class QWidget;

// The progress record of package downloads.
CDownloadProgress& PackageDownloadProgress();

// True when the package fits with 1,000,000 bytes to spare, or the free space is unknown
// (free_bytes <= 0).
bool PackageFitsOnDisk(int64_t needed_bytes, int64_t free_bytes);
// The question asked when it does not fit.
std::string NotEnoughSpaceText(const std::string& title, int64_t needed_bytes, int64_t free_bytes);

// Ignored while a package downloads. An unreadable descriptor shows "Error opening VD Package"
// with the path and the reason; otherwise the download starts, after a Yes to "Not enough
// space" when the space is short. Returns once the download has ended (or was not started):
// true only when every file of the package is in place and verified. A download that fails
// shows why in a box over parent.
bool DownloadMapPackage(QWidget* parent, const std::string& package_path);
// Runs the download of the package DownloadMapPackage remembered, with the progress dialog;
// returns answer unchanged.
int StartPackageDownload(QWidget* parent, int answer);
