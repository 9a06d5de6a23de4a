#pragma once
// "Edit Map Data": the texts of a chart file's header and extension block and its WGS84 datum
// shift, edited and written back in one atomic replacement of the file (QctHeaderPatch). A
// changed text goes over the old one when it is not longer and no other field shares it, else
// to the end of the file; an emptied text clears its pointer. The outline is then read again.
//
//   if (CDlgEditQCT::PrepareFile(outline.chart_path)) {
//     CDlgEditQCT editor(outline, parent);
//     editor.DoModal();
//   }
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/ui/dialog_f1_help.h"

class COldChartOutline;
class QctHeaderPatch;

// Whether another program holds an exclusive lock on the file (it is writing it). False for a
// file that can't be opened.
bool ChartFileLockedElsewhere(const std::string& path);

class CDlgEditQCT : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 184;
  static constexpr int kFileText = 1001;
  static constexpr int kShiftLatEdit = 1002;  // minutes
  static constexpr int kShiftLonEdit = 1003;
  // The text edits, in the order of kFieldLabels, from kFirstField on.
  static constexpr int kFirstField = 1010;
  static constexpr const char* kFieldLabels[] = {
      "Long title:", "Name:",       "Ident:",   "Edition:",         "Revision:", "Keywords:",
      "Copyright:",  "Scale:",      "Datum:",   "Depths:",          "Heights:",  "Projection:",
      "Original filename:", "Type:", "Disk name:", "Associated data:"};
  static constexpr int kFieldCount = int(std::size(kFieldLabels));

  // Whether the chart file may be edited, telling the user why not: a missing file, a
  // read-only one the user won't make writable (or that can't be made so), and one that can't
  // be opened for writing or is locked by another program.
  static bool PrepareFile(const std::string& path);

  CDlgEditQCT(COldChartOutline& outline, QWidget* parent);
  ~CDlgEditQCT() override;
  static void RegisterTemplate();

  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  // Writes what changed; stays open with a message when the shift can't be read or the file
  // can't be written.
  void OnOK() override;

 private:
  bool Write();

  COldChartOutline& outline_;
  std::unique_ptr<QctHeaderPatch> patch_;  // null when the file is no chart file
  uint64_t file_size_ = 0;
  std::vector<std::string> shown_;  // the texts as the edits first showed them
  std::vector<std::string> stored_;  // the texts in the file
  bool has_shift_ = false;
  std::string shown_lat_, shown_lon_;
};
