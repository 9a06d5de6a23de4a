#include "overlays/obj_text.h"

#include <cstring>

#include "charts/old_quick_chart.h"
#include "core/text_tokenizer.h"
#include "core/url_utils.h"
#include "overlays/category.h"
#include "overlays/mapped_object.h"
#include "overlays/obj_track.h"
#include "overlays/overlay_archive.h"
#include "platform/os/codepage.h"
#include "platform/os/numbers.h"
#include "platform/ui/image.h"
#include "platform/ui/surface.h"

const OverlayClass CObjText::kClass("CObjText", kOverlaySchema, &COstrelObject::kClass,
                                    &CreateArchiveObject<CObjText>);

namespace {

constexpr int32_t kTextLayerStyle = 0x32000000;
constexpr char kResizeStatus[] = "Drag to resize text box width";
constexpr unsigned kMeasureFlags =
    vd::ui::kDrawTextCalcRect | vd::ui::kDrawTextNoPrefix | vd::ui::kDrawTextExpandTabs;

float g_display_scale = 1.0f;

// The first max_chars characters of UTF-8 text.
std::string TruncateUtf8(const std::string& text, size_t max_chars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == max_chars) {
      return text.substr(0, i);
    }
  }
  return text;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

vd::ui::Font ToFont(const TextFontRecord& record) {
  vd::ui::Font font;
  font.face = record.face;
  font.height = record.height;
  font.weight = record.weight;
  font.italic = record.italic != 0;
  font.underline = record.underline != 0;
  font.strike_out = record.strike_out != 0;
  font.escapement = record.escapement;
  return font;
}

// The five int32 values and the eight bytes, little-endian as the archive stores them.
void WriteFontBinary(COverlayArchive& archive, const TextFontRecord& f) {
  for (int32_t v : {f.height, f.width, f.escapement, f.orientation, f.weight}) {
    archive.WriteInt32(v);
  }
  for (uint8_t b : {f.italic, f.underline, f.strike_out, f.char_set, f.out_precision,
                    f.clip_precision, f.quality, f.pitch_and_family}) {
    archive.WriteByte(b);
  }
}

void ReadFontBinary(COverlayArchive& archive, TextFontRecord& f) {
  for (int32_t* v : {&f.height, &f.width, &f.escapement, &f.orientation, &f.weight}) {
    *v = archive.ReadInt32();
  }
  for (uint8_t* b : {&f.italic, &f.underline, &f.strike_out, &f.char_set, &f.out_precision,
                     &f.clip_precision, &f.quality, &f.pitch_and_family}) {
    *b = archive.ReadByte();
  }
  f.height = TextFontRecord::ClampHeight(f.height);
}

void SaveUndo(COstrelObject& object) {
  const OverlayUndoHook& hook = COstrelObject::UndoHook();
  if (hook.save_for_object) hook.save_for_object(object);
}

}  // namespace

void CObjText::SetDisplayScale(float scale) { g_display_scale = scale; }

int32_t CObjText::CheckedWidth(int32_t width) {
  return width < kMinBoxWidth || width > kMaxBoxWidth ? kDefaultBoxWidth : width;
}

CObjText::CObjText() {
  name = "Note";
  SetCategory("Text");
  style = kTextLayerStyle;
  text = "Your text here...";
  font.height = static_cast<int32_t>(g_display_scale * -13);
  box_width = static_cast<int32_t>(g_display_scale * kDefaultBoxWidth);
  context_menu_id = kObjectPopupMenu;
}

const OverlayClass& CObjText::GetRuntimeClass() const { return kClass; }

// ---- Archive ----

void CObjText::Serialize(COverlayArchive& archive) {
  COstrelObject::Serialize(archive);
  position.Serialize(archive);
  if (archive.IsStoring()) {
    archive.WriteString(text);
    WriteFontBinary(archive, font);
    archive.WriteString(font.face);
    archive.WriteInt32(static_cast<int32_t>(text_colour));
    archive.WriteInt32(static_cast<int32_t>(background_colour));
    archive.WriteBool(fill_background);
    archive.WriteInt32(box_width);
    archive.WriteInt32(static_cast<int32_t>(text_format));
    archive.WriteInt32(reserved[0]);
    archive.WriteInt32(reserved[1]);
    return;
  }
  text = archive.ReadString();
  ReadFontBinary(archive, font);
  font.face = TruncateUtf8(archive.ReadString(), TextFontRecord::kMaxFaceLength);
  text_colour = static_cast<vd::ui::ColourRef>(archive.ReadInt32());
  background_colour = static_cast<vd::ui::ColourRef>(archive.ReadInt32());
  fill_background = archive.ReadBool();
  // The width is stored in screen pixels, as it is written: a saved note comes back as wide.
  box_width = CheckedWidth(archive.ReadInt32());
  text_format = static_cast<uint32_t>(archive.ReadInt32());
  reserved[0] = archive.ReadInt32();
  reserved[1] = archive.ReadInt32();
  edit_state = kNormal;
  if (IsSelected()) Deselect();
}

void CObjText::Deselect() {
  if (edit_state == kPlacing) {
    COstrelObject::Deselect();
    Delete(false);  // may destroy this note
    return;
  }
  edit_state = kNormal;
  NotifyChange(kChangeEditState);
  COstrelObject::Deselect();
}

// ---- Tagged text ----

bool CObjText::WriteText(std::string& out) {
  out += "TX01,";
  out += vd::os::FormatC("%s,%s,%d,%d,", Quoted(EncodeNameLineBreaks(name)).c_str(),
                         Quoted(CCategory::GetNameOr(category())).c_str(), visible ? 1 : 0,
                         locked ? 1 : 0);
  // The text is coded as the file's code page would hold it, so files of other copies read
  // alike.
  const int32_t height = -TextFontRecord::ClampHeight(font.height);
  out += vd::os::FormatC("%.6f,%.6f,\"%s\", %s,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d\n", position.lat,
                         position.lon, UrlEncode(vd::os::Utf8ToCp1252(text)).c_str(),
                         Quoted(font.face).c_str(), height, font.weight, font.italic,
                         font.underline, static_cast<int>(text_colour),
                         static_cast<int>(background_colour), fill_background ? 1 : 0, box_width,
                         static_cast<int>(text_format), reserved[0], reserved[1]);
  return true;
}

bool CObjText::ReadText(std::string_view line) {
  TextTokenizer tokens(line);
  tokens.NextToken();  // the tag
  if (auto field = tokens.NextToken()) name = DecodeNameLineBreaks(*field);
  if (auto field = tokens.NextToken(); field && !field->empty()) SetCategory(*field);
  visible = tokens.NextTokenInt(1) != 0;
  locked = tokens.NextTokenInt(0) != 0;
  for (double* v : {&position.lat, &position.lon}) {
    if (auto field = tokens.NextToken()) vd::os::ParseDouble(*field, *v);
  }
  if (auto field = tokens.NextToken()) text = vd::os::Cp1252ToUtf8(UrlDecode(*field));
  const auto face = tokens.NextToken();
  if (!face) return false;
  font.face = TruncateUtf8(*face, TextFontRecord::kMaxFaceLength);
  // Negated in 64 bits: the stored value may be the most negative int.
  font.height = TextFontRecord::ClampHeight(-int64_t{tokens.NextTokenInt(13)});
  font.weight = tokens.NextTokenInt(400);
  font.italic = static_cast<uint8_t>(tokens.NextTokenInt(0));
  font.underline = static_cast<uint8_t>(tokens.NextTokenInt(0));
  text_colour = static_cast<vd::ui::ColourRef>(tokens.NextTokenInt(static_cast<int>(text_colour)));
  background_colour =
      static_cast<vd::ui::ColourRef>(tokens.NextTokenInt(static_cast<int>(background_colour)));
  fill_background = tokens.NextTokenInt(fill_background ? 1 : 0) != 0;
  box_width = tokens.NextTokenInt(box_width);
  text_format = static_cast<uint32_t>(tokens.NextTokenInt(static_cast<int>(text_format)));
  reserved[0] = tokens.NextTokenInt(reserved[0]);
  reserved[1] = tokens.NextTokenInt(reserved[1]);
  edit_state = kNormal;
  return true;
}

// ---- Screen ----

vd::ui::Size CObjText::MeasureText(vd::ui::Surface& dc) const {
  dc.SelectFont(ToFont(font));
  vd::ui::Rect rect{0, 0, box_width, 0};
  dc.DrawText(text, rect, (text_format & ~vd::ui::kDrawTextCalcRect) | kMeasureFlags);
  return {rect.Width(), rect.Height()};
}

void CObjText::PrepareView(CMappedObject& mapped, COldQuickChart* chart, CRubberBand& band) {
  if (IsSelected()) {
    band.Reset();
    band.active = edit_state != kNormal;
    if (edit_state == kPlacing) band.label = "Click to place text";
  }
  ScreenPoint pixel;
  if (edit_state == kPlacing || !chart ||
      !chart->LatLonToPixel(position.lat, position.lon, pixel) || !mapped.SetPointCount(1)) {
    mapped.SetPointCount(0);
  } else {
    mapped.chart_points()[0] = {pixel.x, pixel.y};
    mapped.kind = CMappedObject::kBox;
    vd::ui::Image scratch(1, 1);
    vd::ui::Surface dc(scratch);
    const vd::ui::Size size = MeasureText(dc);
    mapped.margins = {kBoxMargin, kBoxMargin, size.cx + kBoxMargin, size.cy + kBoxMargin};
  }
  mapped.Project();
}

void CObjText::Draw(vd::ui::Surface& dc, vd::ui::Graphics&, CMappedObject& mapped,
                    bool quick_draw) {
  const bool selected = IsSelected();
  if (quick_draw && !selected) return;
  const auto client = mapped.client_points();
  if (client.empty()) return;
  dc.Save();
  dc.SetTextColour(text_colour);
  dc.SetBackgroundMode(vd::ui::BackgroundMode::Transparent);
  const vd::ui::Size size = MeasureText(dc);
  const vd::ui::Rect text_rect{client[0].x, client[0].y, client[0].x + size.cx,
                               client[0].y + size.cy};
  const vd::ui::Rect box = text_rect.Inflated(kBoxMargin, kBoxMargin);
  if (fill_background) dc.FillRect(box, background_colour);
  if (selected) {
    dc.SelectPen({vd::ui::LineStyle::Solid, 0, 0});
    dc.SelectBrush(vd::ui::Brush::Null());
    dc.Rectangle(box);
  }
  vd::ui::Rect rect = text_rect;
  dc.DrawText(text, rect,
              (text_format & ~vd::ui::kDrawTextCalcRect) | vd::ui::kDrawTextNoPrefix |
                  vd::ui::kDrawTextExpandTabs);
  dc.Restore();
}

// ---- Editing ----

bool CObjText::OnLButtonDown(const CLatLon& point, CMappedObject* hit) {
  button_down = true;
  if (hit && hit->object() == this && hit->hit_index == 1 && hit->view()) {
    edit_state = kResizing;
    resize_view = hit->view();
    ScreenPoint pixel;
    if (hit->chart()) hit->chart()->LatLonToPixel(position.lat, position.lon, pixel);
    resize_anchor_x = resize_view->ChartToClient({pixel.x, pixel.y}).x;
    NotifyChange(kChangeEditState);
  }
  if (edit_state == kNormal) drag_offset = {position.lat - point.lat, position.lon - point.lon};
  SaveUndo(*this);
  Select(true);
  return true;
}

bool CObjText::OnLButtonUp(const CLatLon& point) {
  if (!button_down) return false;
  button_down = false;
  if (!locked && edit_state == kPlacing) {
    position = point;
    edit_state = kNormal;
    NotifyChange(kChangeModified);
    COstrelObject::OnDoubleClick(point);
    Select(true);
  } else if (edit_state == kResizing) {
    edit_state = kNormal;
    NotifyChange(kChangeEditState);
  }
  resize_view = nullptr;
  return true;
}

bool CObjText::OnMouseMove(const CLatLon& point) {
  if (!button_down || locked) return false;
  if (edit_state == kNormal) {
    position = {point.lat + drag_offset.lat, point.lon + drag_offset.lon};
  } else if (edit_state == kResizing) {
    // The view that reports the cursor is the one the drag started in.
    if (auto* cursor = dynamic_cast<CTrackDrawingView*>(resize_view)) {
      box_width = cursor->CursorPixel().x - resize_anchor_x;
    }
    box_width = CheckedWidth(box_width);
  }
  NotifyChange(kChangeMoved);
  NotifyChange(kChangeModified);
  return true;
}

bool CObjText::GetStatusText(std::string& out, const CLatLon&, CMappedObject* hit) {
  if (edit_state == kResizing ||
      (edit_state == kNormal && hit && hit->hit_index == 1 &&
       (text_format & vd::ui::kDrawTextWordBreak))) {
    out = kResizeStatus;
  } else if (edit_state == kPlacing) {
    out = "Click to position a note";
  } else {
    out = name;
  }
  return true;
}

bool IsEditingObjText(const COstrelObject* object) {
  const auto* note = dynamic_cast<const CObjText*>(object);
  return note && note->edit_state == CObjText::kPlacing;
}

void CObjText::CentreInView() {
  if (document()) document()->OpenBestChartAt(position.lat, position.lon, 0.0, 2.0, 1);
}
