#include "corvex/ui/dialog_controls.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <algorithm>
#include <cmath>
#include <functional>

#include "core/persistent_value.h"
#include "platform/ui/graphics.h"
#include "platform/ui/surface.h"

namespace {

using DrawFunction = std::function<void(vd::ui::Surface&, const vd::ui::Rect&, int, bool)>;

vd::ui::Rect ToRect(const QRect& r) { return {r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

// Items of a combo box painted by the box's own drawing, at a fixed height; the width is the
// drop-down list's.
class ItemPainter : public QStyledItemDelegate {
 public:
  ItemPainter(QComboBox* combo, DrawFunction draw, std::function<int()> height)
      : QStyledItemDelegate(combo), combo_(combo), draw_(std::move(draw)),
        height_(std::move(height)) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    vd::ui::Surface dc(*painter);
    draw_(dc, ToRect(option.rect), index.row(), (option.state & QStyle::State_Selected) != 0);
  }
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
    return {combo_->view() != nullptr ? combo_->view()->width() : combo_->width(), height_()};
  }

 private:
  QComboBox* combo_;
  DrawFunction draw_;
  std::function<int()> height_;
};

// The closed box: the frame and arrow of the style, the current item drawn by the box.
void PaintClosedBox(QComboBox& combo, const DrawFunction& draw) {
  QStylePainter painter(&combo);
  QStyleOptionComboBox option;
  option.initFrom(&combo);
  option.editable = false;
  option.frame = true;
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  if (combo.currentIndex() < 0) return;
  const QRect field =
      combo.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField,
                                    &combo);
  vd::ui::Surface dc(painter);
  draw(dc, ToRect(field), combo.currentIndex(), false);
}

}  // namespace

// ---- CUnitCombo ----

CUnitCombo::CUnitCombo(QWidget* parent) : QComboBox(parent) {}

CUnitCombo::~CUnitCombo() {
  if (remembered_ >= 0) vd::OpenAppProfile().SetInt(kSection, kKey, remembered_);
}

void CUnitCombo::Fill() {
  for (const Unit& unit : kUnits) addItem(QString::fromUtf8(unit.text));
  const int stored = vd::OpenAppProfile().GetInt(kSection, kKey).value_or(kDefaultUnit);
  remembered_ = std::clamp(stored, 0, kUnitCount - 1);
  setCurrentIndex(remembered_);
}

float CUnitCombo::GetFactor() {
  const int index = currentIndex();
  if (index < 0 || index >= kUnitCount) return 0.0f;
  remembered_ = index;
  return kUnits[index].per_nautical_mile;
}

// ---- CColorCombo ----

CColorCombo::CColorCombo(QWidget* parent) : QComboBox(parent) {
  setItemDelegate(new ItemPainter(
      this,
      [this](vd::ui::Surface& dc, const vd::ui::Rect& rect, int index, bool selected) {
        DrawItem(dc, rect, index, selected);
      },
      [] { return kItemHeight; }));
}

void CColorCombo::FillStandard() {
  for (vd::ui::ColourRef colour : kStandard) addItem(QString(), QVariant::fromValue(colour));
}

vd::ui::ColourRef CColorCombo::ColourAt(int index) const {
  return itemData(index).value<vd::ui::ColourRef>();
}

void CColorCombo::Select(vd::ui::ColourRef colour) {
  for (int i = 0; i < count(); ++i) {
    if (ColourAt(i) == colour) {
      setCurrentIndex(i);
      return;
    }
  }
  addItem(QString(), QVariant::fromValue(colour));
  setCurrentIndex(count() - 1);
}

std::optional<vd::ui::ColourRef> CColorCombo::GetSelectedColour() const {
  if (currentIndex() < 0) return std::nullopt;
  return ColourAt(currentIndex());
}

void CColorCombo::DrawItem(vd::ui::Surface& dc, const vd::ui::Rect& rect, int index,
                           bool selected) const {
  if (index < 0 || index >= count()) return;
  dc.FillRect(rect, selected ? vd::ui::MakeColourRef(0, 0, 128) : vd::ui::MakeColourRef(255, 255, 255));
  const vd::ui::Pen old_pen = dc.SelectPen({vd::ui::LineStyle::Solid, 0, 0});
  const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Solid(ColourAt(index)));
  dc.Rectangle(rect.Inflated(-2, -2));
  dc.SelectBrush(old_brush);
  dc.SelectPen(old_pen);
}

void CColorCombo::paintEvent(QPaintEvent* /*event*/) {
  PaintClosedBox(*this, [this](vd::ui::Surface& dc, const vd::ui::Rect& rect, int index,
                               bool selected) { DrawItem(dc, rect, index, selected); });
}

// ---- CIconCombo ----

CIconCombo::CIconCombo(QWidget* parent, float scale)
    : QComboBox(parent), item_height_(static_cast<int>(kItemHeight * scale)) {
  setItemDelegate(new ItemPainter(
      this,
      [this](vd::ui::Surface& dc, const vd::ui::Rect& rect, int index, bool selected) {
        DrawItem(dc, rect, index, selected);
      },
      [this] { return item_height_; }));
}

void CIconCombo::AddItem(std::shared_ptr<const vd::ui::Image> image, int hot_spot_x,
                         int hot_spot_y, const std::string& name, int key) {
  items_.push_back({std::move(image), hot_spot_x, hot_spot_y, name, key});
  addItem(QString::fromStdString(name));
}

int CIconCombo::SelectKey(int key) {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].key == key) {
      setCurrentIndex(static_cast<int>(i));
      return static_cast<int>(i);
    }
  }
  return -1;
}

int CIconCombo::GetKey(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return 0;
  return items_[static_cast<size_t>(index)].key;
}

void CIconCombo::DrawItem(vd::ui::Surface& dc, const vd::ui::Rect& rect, int index,
                          bool selected) const {
  if (index < 0 || static_cast<size_t>(index) >= items_.size()) return;
  const Item& item = items_[static_cast<size_t>(index)];
  dc.FillRect(rect, vd::ui::MakeColourRef(255, 255, 255));
  const int left = rect.left + item_height_ / 8;
  const int middle = (rect.top + rect.bottom) / 2;
  if (item.image && !item.image->IsNull()) {
    // Blended by its alpha: a transparent icon pixel shows the item's white.
    const vd::ui::Image& icon = *item.image;
    vd::ui::Graphics(dc).DrawImage(icon, {float(left), float(middle - item.hot_spot_y),
                                          float(icon.Width()), float(icon.Height())});
  }
  const vd::ui::BackgroundMode old_mode = dc.SetBackgroundMode(vd::ui::BackgroundMode::Transparent);
  const vd::ui::ColourRef old_colour = dc.SetTextColour(0);
  vd::ui::Rect text_rect{left + kNameOffset, rect.top, rect.right, rect.bottom};
  dc.DrawText(item.name, text_rect,
              vd::ui::kDrawTextSingleLine | vd::ui::kDrawTextVCenter | vd::ui::kDrawTextNoPrefix);
  dc.SetTextColour(old_colour);
  dc.SetBackgroundMode(old_mode);
  if (selected) {
    const vd::ui::Pen old_pen = dc.SelectPen({vd::ui::LineStyle::Dot, 0, 0});
    const vd::ui::Brush old_brush = dc.SelectBrush(vd::ui::Brush::Null());
    dc.Rectangle(rect);
    dc.SelectBrush(old_brush);
    dc.SelectPen(old_pen);
  }
}

void CIconCombo::paintEvent(QPaintEvent* /*event*/) {
  PaintClosedBox(*this, [this](vd::ui::Surface& dc, const vd::ui::Rect& rect, int index,
                               bool selected) { DrawItem(dc, rect, index, selected); });
}

// ---- CColorBox ----

CColorBox::CColorBox(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CColorBox::SetColour(vd::ui::ColourRef colour) {
  colour_ = colour;
  update();
}

void CColorBox::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  vd::ui::Surface dc(painter);
  dc.FillRect({0, 0, width(), height()}, colour_);
}
