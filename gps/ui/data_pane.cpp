#include "gps/ui/data_pane.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "core/persistent_value.h"
#include "core/ui/message_boxes.h"
#include "platform/os/files.h"
#include "platform/ui/image.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/print_document.h"
#include "platform/ui/surface.h"

namespace {

float g_display_scale = 1.0f;

constexpr int kStartFontHeight = 20;
constexpr int kMinimumFitHeight = 10;
constexpr uint32_t kBmpHeadersSize = 54;
constexpr int32_t kBmpPixelsPerMetre = 100;
constexpr vd::ui::ColourRef kBlack = 0;
constexpr vd::ui::ColourRef kRed = vd::ui::MakeColourRef(255, 0, 0);
constexpr vd::ui::ColourRef kWhite = vd::ui::MakeColourRef(255, 255, 255);

void PutU16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
void PutU32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

}  // namespace

CDataPane::CDataPane(int pane_id, std::string settings_key, const Placement& placement,
                     int context_menu_id)
    : CDockingWnd(pane_id),
      settings_key_(std::move(settings_key)),
      placement_(placement),
      context_menu_id_(context_menu_id),
      font_height_(static_cast<int>(kStartFontHeight * g_display_scale)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (CAppCommon* app = CAppCommon::Instance()) app->AddDataWindow(this);
}

CDataPane::~CDataPane() {
  if (!destroyed_) {
    destroyed_ = true;
    SavePlacement();
    LeaveList();
  }
}

void CDataPane::Update(COstrelObject* /*object*/, int /*hint*/) {}

void CDataPane::DestroyWindow() {
  if (destroyed_) return;
  destroyed_ = true;
  SavePlacement();
  LeaveList();
  ClosePane();
  hide();
  deleteLater();
}

void CDataPane::LeaveList() {
  if (CAppCommon* app = CAppCommon::Instance()) app->RemoveDataWindow(this);
}

void CDataPane::Draw(vd::ui::Surface& /*dc*/) {}

void CDataPane::OnSettingsChanged(vd::ui::PopupMenu& /*menu*/) {}

void CDataPane::FillContextMenu(vd::ui::PopupMenu& /*menu*/) {}

bool CDataPane::CreatePane(const std::string& title, QWidget* parent) {
  if (!settings_key_.empty()) {
    if (auto text = vd::OpenAppProfile().GetString(vd::kSettingsSection, settings_key_)) {
      ParsePlacement(*text, placement_);
    }
  }
  CreatePaneFont(font_height_);
  const vd::ui::Rect window_rect{placement_.x + kBorder, placement_.y + kCaption,
                                 placement_.x + placement_.width - kBorder,
                                 placement_.y + placement_.height - kBorder};
  created_ = AttachToPane(title, window_rect, parent);
  placement_.x = 0;
  placement_.y = 0;
  return created_;
}

void CDataPane::CreatePaneFont(int height) {
  font_height_ = height;
  font_ = vd::ui::Font{};
  font_.face = "Arial";
  font_.height = height;
  font_.weight = font_weight_;
}

void CDataPane::FitFontToLines(const std::vector<std::string>& lines) {
  // Characters, not bytes, of the UTF-8 lines.
  int longest = 0;
  for (const std::string& line : lines) {
    const auto characters = std::count_if(line.begin(), line.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    longest = std::max(longest, static_cast<int>(characters));
  }
  int height_px = lines.empty() ? height() : height() / static_cast<int>(lines.size());
  if (longest > 0) height_px = std::min(height_px, width() * 100 / (longest * 50));
  height_px = std::max(height_px, static_cast<int>(kMinimumFitHeight * g_display_scale));
  if (height_px != font_height_) CreatePaneFont(height_px);
}

void CDataPane::DrawLines(vd::ui::Surface& dc, const std::vector<std::string>& lines) const {
  int y = 0;
  for (const std::string& line : lines) {
    dc.TextOut({0, y}, line);
    y += font_height_;
  }
}

std::string CDataPane::FormatPlacement(const vd::ui::Rect& r) {
  const int values[4] = {r.left - kBorder, r.top - kCaption, r.right - r.left + 2 * kBorder,
                         r.bottom - (r.top - kCaption) + kBorder};
  std::string text;
  for (int value : values) {
    if (!text.empty()) text += ':';
    text += std::to_string(value);
  }
  return text;
}

bool CDataPane::ParsePlacement(const std::string& text, Placement& placement) {
  int values[4] = {};
  const char* p = text.data();
  const char* end = p + text.size();
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (p == end || *p != ':') return false;
      ++p;
    }
    auto [next, error] = std::from_chars(p, end, values[i]);
    if (error != std::errc()) return false;
    p = next;
  }
  if (values[2] < 1 || values[3] < 1) return false;
  placement = {values[0], values[1], values[2], values[3]};
  return true;
}

void CDataPane::SavePlacement() {
  if (settings_key_.empty() || !created_) return;
  const QPoint at = mapToGlobal(QPoint(0, 0));
  const vd::ui::Rect rect{at.x(), at.y(), at.x() + width(), at.y() + height()};
  vd::OpenAppProfile().SetString(vd::kSettingsSection, settings_key_, FormatPlacement(rect));
}

void CDataPane::PaintContents(vd::ui::Surface& dc, vd::ui::ColourRef text_colour) {
  dc.SelectFont(font_);
  dc.SetBackgroundMode(vd::ui::BackgroundMode::Transparent);
  dc.SetTextColour(text_colour);
  Draw(dc);
}

void CDataPane::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  vd::ui::Surface dc(painter);
  dc.FillRect({0, 0, width(), height()}, kBackground);
  PaintContents(dc, highlight_ ? kRed : kBlack);
  highlight_ = false;
}

void CDataPane::resizeEvent(QResizeEvent* event) {
  placement_.width = width();
  placement_.height = height();
  QWidget::resizeEvent(event);
  update();
}

void CDataPane::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::RightButton) return QWidget::mousePressEvent(event);
  std::unique_ptr<vd::ui::PopupMenu> menu = LoadContextMenu();
  if (!menu) return;
  OnSettingsChanged(*menu);
  if (const int id = menu->Track(this, event->globalPosition().toPoint()); id != 0) OnCommand(id);
}

std::unique_ptr<vd::ui::PopupMenu> CDataPane::LoadContextMenu() {
  if (context_menu_id_ == 0) return nullptr;
  auto menu = std::make_unique<vd::ui::PopupMenu>();
  FillContextMenu(*menu);
  if (!menu->empty()) menu->AppendSeparator();
  menu->AppendItem(kPrintCommand, "Print...");
  return menu;
}

bool CDataPane::OnCommand(int id) {
  if (id != kPrintCommand) return false;
  Print();
  return true;
}

void CDataPane::CheckMenuItemFlag(int id, vd::ui::PopupMenu& menu, bool flag) {
  if (vd::ui::PopupMenu::Item* item = menu.FindItem(id)) {
    item->flags = flag ? (item->flags | vd::ui::PopupMenu::kChecked)
                       : (item->flags & ~static_cast<unsigned>(vd::ui::PopupMenu::kChecked));
  }
}

bool CDataPane::SaveAsBitmap(const std::string& path) {
  const int w = width();
  const int h = height();
  if (w < 1 || h < 1) return false;
  const uint64_t pixel_bytes = static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 4;
  if (pixel_bytes + kBmpHeadersSize > UINT32_MAX) return false;

  vd::ui::Image image(w, h, vd::ui::ArgbFromColourRef(kWhite));
  {
    vd::ui::Surface dc(image);
    if (!dc.IsValid()) return false;
    PaintContents(dc, kBlack);
  }

  std::string bytes;
  bytes.reserve(static_cast<size_t>(pixel_bytes) + kBmpHeadersSize);
  bytes += "BM";
  PutU32(bytes, static_cast<uint32_t>(pixel_bytes) + kBmpHeadersSize);
  PutU32(bytes, 0);  // two reserved words
  PutU32(bytes, kBmpHeadersSize);
  PutU32(bytes, 40);
  PutU32(bytes, static_cast<uint32_t>(w));
  PutU32(bytes, static_cast<uint32_t>(h));
  PutU16(bytes, 1);   // planes
  PutU16(bytes, 32);  // bits per pixel
  PutU32(bytes, 0);   // no compression
  PutU32(bytes, static_cast<uint32_t>(pixel_bytes));
  PutU32(bytes, kBmpPixelsPerMetre);
  PutU32(bytes, kBmpPixelsPerMetre);
  PutU32(bytes, 0);  // colours used
  PutU32(bytes, 0);  // colours important
  for (int y = h - 1; y >= 0; --y) {
    const uint32_t* row = image.Row(y);
    for (int x = 0; x < w; ++x) {
      bytes.push_back(static_cast<char>(vd::ui::ArgbBlue(row[x])));
      bytes.push_back(static_cast<char>(vd::ui::ArgbGreen(row[x])));
      bytes.push_back(static_cast<char>(vd::ui::ArgbRed(row[x])));
      bytes.push_back(0);
    }
  }
  return vd::os::SaveFileAtomically(path, bytes);
}

void CDataPane::Print() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  if (dialog.exec() != QDialog::Accepted) return;
  vd::ui::PrintDocument document(printer);
  PrintTo(document);
}

bool CDataPane::PrintTo(vd::ui::PrintDocument& document) {
  if (!document.StartDoc(windowTitle().toStdString())) {
    FormatMessageBox(vd::ui::kMbOk | vd::ui::kMbIconError, "%s", "Printer wouldn't initalize");
    return false;
  }
  vd::ui::Surface* page = document.StartPage();
  if (page == nullptr) {
    FormatMessageBox(vd::ui::kMbOk | vd::ui::kMbIconError, "%s", "Could not start page");
    document.Abort();
    return false;
  }
  const int w = std::max(1, width());
  const int h = std::max(1, height());
  const vd::ui::Size device = page->DeviceSize();
  const double scale = std::min(static_cast<double>(device.cx) / w,
                                static_cast<double>(device.cy) / h);
  vd::ui::Mapping mapping;
  mapping.window_extent = {w, h};
  mapping.viewport_extent = {std::max(1, static_cast<int>(std::lround(w * scale))),
                             std::max(1, static_cast<int>(std::lround(h * scale)))};
  page->SetMapping(mapping);
  PaintContents(*page, kBlack);
  return document.EndPage() && document.EndDoc();
}

void CDataPane::SetDisplayScale(float scale) { g_display_scale = scale > 0.0f ? scale : 1.0f; }

float CDataPane::DisplayScale() { return g_display_scale; }
