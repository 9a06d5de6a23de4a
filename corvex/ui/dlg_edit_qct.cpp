#include "corvex/ui/dlg_edit_qct.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>

#include "overlays/outline/old_chart_outline.h"
#include "charts/qct_header_patch.h"
#include "core/ui/message_boxes.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"
#include "platform/os/numbers.h"
#include "platform/ui/dialog_templates.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/window_messages.h"

namespace {

using D = CDlgEditQCT;

constexpr size_t kMaxText = 1023;
constexpr int kCopyrightField = 6;
constexpr int kFirstExtensionField = 13;
// Where each field's pointer lies: a header offset, or for the last three the byte offset
// within the extension block.
constexpr uint32_t kFieldOffsets[D::kFieldCount] = {
    kQctTitle,  kQctName,        kQctIdentifier,  kQctEdition,   kQctUpdate, kQctDescription,
    kQctCopyright, kQctScale,    kQctDatum,       kQctDepthUnits, kQctHeightUnits,
    kQctProjection, kQctOriginalName, 0, 8, 24};
constexpr int kNameField = 1;
constexpr int kOriginalNameField = 12;

void BuildEditDialog(vd::ui::DialogWindow& d) {
  d.setWindowTitle("Edit Map Data");
  auto* layout = new QVBoxLayout(&d);
  layout->addWidget(d.AddControl(D::kFileText, new QLabel));
  auto* grid = new QGridLayout;
  for (int i = 0; i < D::kFieldCount; ++i) {
    grid->addWidget(new QLabel(D::kFieldLabels[i]), i, 0);
    grid->addWidget(d.AddControl(D::kFirstField + i, new QLineEdit), i, 1, 1, 2);
  }
  const int row = D::kFieldCount;
  grid->addWidget(new QLabel("WGS84 Datum Shift (minutes):"), row, 0);
  grid->addWidget(d.AddControl(D::kShiftLatEdit, new QLineEdit), row, 1);
  grid->addWidget(d.AddControl(D::kShiftLonEdit, new QLineEdit), row, 2);
  layout->addLayout(grid);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(d.AddControl(vd::ui::kIdOk, new QPushButton("OK")));
  buttons->addWidget(d.AddControl(vd::ui::kIdCancel, new QPushButton("Cancel")));
  layout->addLayout(buttons);
  d.SetDefaultButton(vd::ui::kIdOk);
}

uint32_t* ExtensionWord(QuickChartExtension& extension, uint32_t byte_offset) {
  switch (byte_offset) {
    case 0: return &extension.map_type;
    case 8: return &extension.disk_label;
    default: return &extension.reserved_text;
  }
}

uint32_t FieldPointer(QctHeaderPatch& patch, int field) {
  return field < kFirstExtensionField
             ? patch.header().TextOffset(QctTextField(kFieldOffsets[field]))
             : *ExtensionWord(patch.extension(), kFieldOffsets[field]);
}

void SetFieldPointer(QctHeaderPatch& patch, int field, uint32_t offset) {
  if (field < kFirstExtensionField) {
    patch.header().SetTextOffset(QctTextField(kFieldOffsets[field]), offset);
  } else {
    *ExtensionWord(patch.extension(), kFieldOffsets[field]) = offset;
  }
}

bool Overlaps(uint64_t a, uint64_t a_size, uint64_t b, uint64_t b_size) {
  return b != 0 && a < b + b_size && b < a + a_size;
}

std::string MinutesText(double degrees) { return vd::os::FormatC("%.5g", degrees * -60.0); }

}  // namespace

bool ChartFileLockedElsewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return locked;
}

bool CDlgEditQCT::PrepareFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    FormatMessageBox(vd::ui::kMbIconError, "Can't access %s", path.c_str());
    return false;
  }
  if (::access(path.c_str(), W_OK) != 0) {
    if (FormatMessageBox(vd::ui::kMbYesNo | vd::ui::kMbIconQuestion,
                         "File %s is read-only\nDo you want to remove the read-only attribute in "
                         "order to edit the map?",
                         path.c_str()) != vd::ui::kIdYes) {
      return false;
    }
    if (::chmod(path.c_str(), info.st_mode | S_IWUSR) != 0 || ::access(path.c_str(), W_OK) != 0) {
      FormatMessageBox(vd::ui::kMbIconError, "Failed to set attributes");
      return false;
    }
  }
  // The file is replaced on OK; a program holding an exclusive lock on it is still writing it.
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  const bool usable = fd >= 0 && !ChartFileLockedElsewhere(path);
  if (!usable) FormatMessageBox(vd::ui::kMbIconError, "Can't open: %s", path.c_str());
  return usable;
}

void CDlgEditQCT::RegisterTemplate() {
  if (!vd::ui::HasDialogTemplate(kTemplate))
    vd::ui::RegisterDialogTemplate(kTemplate, BuildEditDialog);
}

CDlgEditQCT::CDlgEditQCT(COldChartOutline& outline, QWidget* parent)
    : CDialogF1Help(kTemplate, parent), outline_(outline) {
  RegisterTemplate();
}

CDlgEditQCT::~CDlgEditQCT() = default;

bool CDlgEditQCT::OnInitDialog(QWidget* focus, intptr_t param) {
  CDialogF1Help::OnInitDialog(focus, param);
  const std::string& path = outline_.chart_path;
  vd::ui::DialogWindow* window = dialog_window();
  auto patch = std::make_unique<QctHeaderPatch>();
  const auto size = vd::os::FileSize(path);
  if (!size || !patch->Open(path)) {
    SetItemText(kFileText, vd::os::FormatC("Not a QuickChart file: \"%s\"", path.c_str()));
    for (int i = 0; i < kFieldCount; ++i) window->EnableItem(kFirstField + i, false);
    window->EnableItem(kShiftLatEdit, false);
    window->EnableItem(kShiftLonEdit, false);
    return true;
  }
  patch_ = std::move(patch);
  file_size_ = *size;
  SetItemText(kFileText, path);
  for (int i = 0; i < kFieldCount; ++i) {
    stored_.push_back(patch_->ReadText(FieldPointer(*patch_, i), kMaxText));
    std::string shown = stored_.back();
    if (shown.empty() && i == kNameField) shown = stored_[0].empty() ? path : stored_[0];
    if (shown.empty() && i == kOriginalNameField) shown = path;
    shown_.push_back(shown);
    SetItemText(kFirstField + i, shown);
  }
  window->EnableItem(kFirstField + kCopyrightField, stored_[kCopyrightField].empty());
  const uint32_t shift_at = patch_->extension().datum_shift;
  QctDatumShift shift;
  has_shift_ = shift_at != 0 && shift_at <= file_size_ && sizeof shift <= file_size_ - shift_at;
  if (has_shift_) {
    vd::os::File in;
    has_shift_ = in.Open(path, vd::os::File::Mode::Read) &&
                 in.PRead(&shift, sizeof shift, shift_at) == int64_t(sizeof shift);
  }
  shown_lat_ = has_shift_ ? MinutesText(shift.lat) : "Not known";
  shown_lon_ = has_shift_ ? MinutesText(shift.lon) : "Not known";
  SetItemText(kShiftLatEdit, shown_lat_);
  SetItemText(kShiftLonEdit, shown_lon_);
  window->EnableItem(kShiftLatEdit, has_shift_);
  window->EnableItem(kShiftLonEdit, has_shift_);
  return true;
}

void CDlgEditQCT::OnOK() {
  if (!patch_ || Write()) EndDialog(vd::ui::kIdOk);
}

bool CDlgEditQCT::Write() {
  QctHeaderPatch& patch = *patch_;
  const std::string lat_text = GetItemText(kShiftLatEdit);
  const std::string lon_text = GetItemText(kShiftLonEdit);
  const bool shift_changed = has_shift_ && (lat_text != shown_lat_ || lon_text != shown_lon_);
  QctDatumShift shift;
  if (shift_changed) {
    double lat_minutes = 0, lon_minutes = 0;
    if (!vd::os::ParseDouble(lat_text, lat_minutes) || !vd::os::ParseDouble(lon_text, lon_minutes)) {
      FormatMessageBox(vd::ui::kMbIconError, "Datum shift not understood");
      return false;
    }
    shift = {lat_minutes / -60.0, lon_minutes / -60.0};
  }

  // Pointers as the file has them, to tell which strings are shared.
  std::vector<uint32_t> pointers;
  for (int i = 0; i < kFieldCount; ++i) pointers.push_back(FieldPointer(patch, i));
  const uint32_t extension_at = patch.header().extension;
  const uint32_t shift_at = patch.extension().datum_shift;
  for (int i = 0; i < kFieldCount; ++i) {
    const std::string text = GetItemText(kFirstField + i);
    if (text == shown_[i]) continue;
    if (text.empty()) {
      SetFieldPointer(patch, i, 0);
      continue;
    }
    std::string bytes = vd::os::Utf8ToCp1252(text);
    bytes.push_back('\0');
    const uint32_t old = pointers[size_t(i)];
    const uint64_t old_bytes = vd::os::Utf8ToCp1252(stored_[size_t(i)]).size() + 1;
    // Over the old string only where it is wholly this field's own.
    const bool in_place =
        old >= kQctHeaderSize && !stored_[size_t(i)].empty() && bytes.size() <= old_bytes &&
        old_bytes <= file_size_ - std::min<uint64_t>(old, file_size_) &&
        std::count(pointers.begin(), pointers.end(), old) == 1 &&
        !Overlaps(old, old_bytes, extension_at, kQctExtensionSize) &&
        !Overlaps(old, old_bytes, shift_at, sizeof(QctDatumShift));
    if (in_place) {
      patch.writer().WriteAt(old, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
      continue;
    }
    if (i >= kFirstExtensionField && !patch.has_extension()) {
      patch.writer().Align8();
      patch.header().extension = patch.writer().AppendZeros(kQctExtensionSize);
    }
    SetFieldPointer(patch, i, patch.writer().Append(
                                  {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}));
  }
  if (shift_changed) patch.WriteDatumShift(shift);
  if (!patch.writer().ok() || !patch.Commit()) {
    FormatMessageBox(vd::ui::kMbIconError, "Failed to write %s", outline_.chart_path.c_str());
    return false;
  }
  patch_.reset();
  ReadQuickChartHeader(outline_, outline_.chart_path);
  return true;
}
