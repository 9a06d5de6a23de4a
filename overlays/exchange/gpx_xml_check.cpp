#include "overlays/exchange/gpx_xml_check.h"

#include <strings.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/xml_document.h"

#include "platform/os/numbers.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u == ':' || u >= 0x80;
}

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

class XmlScanner {
 public:
  XmlScanner(std::string_view bytes, const ProgressFn& progress)
      : s_(bytes), steps_(progress, static_cast<int64_t>(bytes.size())) {}

  // Name elements whose content is at least min_bytes long go to visit as they close; the scan
  // ends early once visit returns false.
  void WatchNames(size_t min_bytes, const std::function<bool(const XmlNameElement&)>* visit) {
    name_min_bytes_ = min_bytes;
    name_visit_ = visit;
  }

  std::string Run() {
    if (s_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
    // The tree reader would end a text at a NUL and make up what follows.
    for (size_t i = pos_; i < s_.size(); ++i) {
      const auto c = static_cast<unsigned char>(s_[i]);
      if (c < 0x20 && !IsBlank(static_cast<char>(c))) {
        Fail(vd::os::FormatC("a control character (byte 0x%02X), which XML does not allow", c), i);
        return error_;
      }
    }
    while (error_.empty() && !names_done_ && pos_ < s_.size()) {
      if (!steps_(static_cast<int64_t>(pos_))) return "stopped";
      if (s_[pos_] == '<') {
        Markup();
      } else {
        Text();
      }
    }
    if (error_.empty() && !names_done_) {
      if (!open_.empty()) {
        Fail("the file ends before <" + std::string(open_.back()) + "> is closed");
      } else if (!root_seen_) {
        Fail("no root element");
      }
    }
    return error_;
  }

 private:
  bool AtEnd() const { return pos_ >= s_.size(); }
  bool Next(std::string_view text) const { return s_.substr(pos_).starts_with(text); }

  // The fault is at `at` (the construct's start), or where reading stopped.
  void Fail(const std::string& what, size_t at = std::string_view::npos) {
    if (!error_.empty()) return;
    int line = 1;
    size_t line_start = 0;
    const size_t end = std::min(at == std::string_view::npos ? pos_ : at, s_.size());
    for (size_t i = 0; i < end; ++i) {
      if (s_[i] == '\n') {
        ++line;
        line_start = i + 1;
      }
    }
    error_ = vd::os::FormatC("line %d, column %zu: ", line, end - line_start + 1) + what;
  }

  // The line (from 1) of a byte; counting goes on from the previous call when it is further on.
  int LineOf(size_t at) {
    if (at < counted_to_) {
      counted_to_ = 0;
      counted_line_ = 1;
    }
    for (; counted_to_ < at; ++counted_to_) {
      if (s_[counted_to_] == '\n') ++counted_line_;
    }
    return counted_line_;
  }

  void SkipBlanks() {
    while (!AtEnd() && IsBlank(s_[pos_])) ++pos_;
  }

  // Moves past the terminator; false (with the error set) when the file ends first.
  bool SkipPast(std::string_view terminator, const char* what, size_t start) {
    const size_t found = s_.find(terminator, pos_);
    if (found == std::string_view::npos) {
      Fail(std::string("unterminated ") + what, start);
      return false;
    }
    pos_ = found + terminator.size();
    return true;
  }

  std::string_view Name() {
    const size_t start = pos_;
    if (AtEnd() || !IsNameStart(s_[pos_])) return {};
    while (!AtEnd() && IsNameChar(s_[pos_])) ++pos_;
    return s_.substr(start, pos_ - start);
  }

  // At '&': a named, decimal or hexadecimal reference ending in ';'.
  bool Reference() {
    const size_t start = pos_++;
    bool ok = false;
    if (Next("#x")) {
      pos_ += 2;
      const size_t start = pos_;
      while (!AtEnd() && vd::os::HexDigit(s_[pos_]) >= 0) ++pos_;
      ok = pos_ > start;
    } else if (Next("#")) {
      ++pos_;
      const size_t start = pos_;
      while (!AtEnd() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
      ok = pos_ > start;
    } else {
      ok = !Name().empty();
    }
    if (!ok || AtEnd() || s_[pos_] != ';') {
      Fail("'&' that starts no entity reference (write it as &amp;)", start);
      return false;
    }
    ++pos_;
    return true;
  }

  void Text() {
    const size_t start = pos_;
    while (error_.empty() && !AtEnd() && s_[pos_] != '<') {
      const char c = s_[pos_];
      if (open_.empty() && !IsBlank(c)) {
        Fail("text outside the root element");
      } else if (c == '&') {
        Reference();
      } else {
        ++pos_;
      }
    }
    if (error_.empty() && pos_ - start > kXmlMaxRun) {
      Fail(vd::os::FormatC("a text longer than %zu bytes", kXmlMaxRun), start);
    }
  }

  void Markup() {
    const size_t start = pos_;
    if (Next("<!--")) {
      pos_ += 4;
      SkipPast("-->", "comment", start);
    } else if (Next("<![CDATA[")) {
      if (open_.empty()) return Fail("CDATA section outside the root element");
      pos_ += 9;
      if (SkipPast("]]>", "CDATA section", start) && pos_ - start - 12 > kXmlMaxRun) {
        Fail(vd::os::FormatC("a CDATA section longer than %zu bytes", kXmlMaxRun), start);
      }
    } else if (Next("<?")) {
      pos_ += 2;
      SkipPast("?>", "processing instruction", start);
    } else if (Next("<!")) {
      Declaration();
    } else if (Next("</")) {
      EndTag(start);
    } else {
      StartTag(start);
    }
  }

  // <!DOCTYPE ...> with an optional internal subset in brackets.
  void Declaration() {
    if (root_seen_) return Fail("declaration after the root element");
    int brackets = 0;
    for (pos_ += 2; !AtEnd(); ++pos_) {
      const char c = s_[pos_];
      if (c == '[') ++brackets;
      if (c == ']') --brackets;
      if (c == '>' && brackets <= 0) {
        ++pos_;
        return;
      }
    }
    Fail("unterminated declaration");
  }

  void EndTag(size_t start) {
    pos_ += 2;
    const std::string_view name = Name();
    SkipBlanks();
    if (name.empty() || AtEnd() || s_[pos_] != '>') return Fail("malformed closing tag");
    if (open_.empty()) {
      return Fail("closing tag </" + std::string(name) + "> without an open element", start);
    }
    if (open_.back() != name) {
      return Fail("closing tag </" + std::string(name) + "> where </" + std::string(open_.back()) +
                      "> was expected",
                  start);
    }
    // The text of an element that holds a coordinate (TCX), when it has no child elements.
    if (content_start_ != std::string_view::npos) {
      CoordinateText(LocalName(name), s_.substr(content_start_, start - content_start_),
                     content_start_);
    }
    const size_t element_start = starts_.back().tag;
    const size_t content = starts_.back().content;
    open_.pop_back();
    starts_.pop_back();
    content_start_ = std::string_view::npos;
    ++pos_;
    if (name_visit_ && start - content >= name_min_bytes_ && IsNameElement(LocalName(name))) {
      names_done_ = !(*name_visit_)(
          {s_.substr(element_start, pos_ - element_start), LineOf(element_start)});
    }
  }

  // The elements an object's name is read from: "name" (GPX, LOC) and "Id" (TCX).
  static bool IsNameElement(std::string_view local) {
    const auto is = [local](const char* word) {
      return local.size() == std::strlen(word) &&
             strncasecmp(local.data(), word, local.size()) == 0;
    };
    return is("name") || is("id");
  }

  void StartTag(size_t start) {
    ++pos_;
    const std::string_view name = Name();
    if (name.empty()) return Fail("'<' that starts no tag (write it as &lt;)", start);
    if (open_.empty() && root_seen_) {
      return Fail("a second root element <" + std::string(name) + ">", start);
    }
    while (error_.empty()) {
      const size_t before = pos_;
      SkipBlanks();
      if (AtEnd()) return Fail("the file ends inside the tag <" + std::string(name) + ">");
      if (pos_ - start > kXmlMaxRun) {
        return Fail(vd::os::FormatC("a tag longer than %zu bytes", kXmlMaxRun), start);
      }
      if (Next("/>")) {
        pos_ += 2;
        root_seen_ = true;
        content_start_ = std::string_view::npos;
        return;
      }
      if (s_[pos_] == '>') {
        ++pos_;
        root_seen_ = true;
        open_.push_back(name);
        starts_.push_back({start, pos_});
        if (open_.size() > kXmlMaxDepth) {
          return Fail(vd::os::FormatC("elements nested deeper than %zu levels", kXmlMaxDepth),
                      start);
        }
        content_start_ = pos_;
        return;
      }
      if (pos_ == before) return Fail("attributes must be separated by blanks");
      Attribute();
    }
  }

  static std::string_view LocalName(std::string_view name) {
    const size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
  }

  // A coordinate held by an attribute (GPX, LOC: "lat", "lon") or an element's text (TCX:
  // "LatitudeDegrees", "LongitudeDegrees") must be a number on the globe; `at` is where the
  // value starts.
  void CoordinateText(std::string_view name, std::string_view value, size_t at) {
    const bool latitude = name == "lat" || name == "LatitudeDegrees";
    if (!latitude && name != "lon" && name != "LongitudeDegrees") return;
    while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
    while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
    const char* what = latitude ? "latitude" : "longitude";
    const double limit = latitude ? 90.0 : 180.0;
    double number = 0.0;
    if (!vd::os::ParseDouble(value, number) || !std::isfinite(number)) {
      return Fail(vd::os::FormatC("%s \"%.40s\" is not a number", what,
                                  std::string(value).c_str()),
                  at);
    }
    if (std::fabs(number) > limit) {
      Fail(vd::os::FormatC("%s %.40s is outside -%g..%g", what, std::string(value).c_str(),
                           limit, limit),
           at);
    }
  }

  void Attribute() {
    const size_t name_start = pos_;
    const std::string_view name = Name();
    if (name.empty()) return Fail("malformed attribute");
    SkipBlanks();
    if (AtEnd() || s_[pos_] != '=') return Fail("attribute without '='");
    ++pos_;
    SkipBlanks();
    if (AtEnd() || (s_[pos_] != '"' && s_[pos_] != '\'')) {
      return Fail("attribute value without quotes");
    }
    const char quote = s_[pos_++];
    const size_t value_start = pos_;
    while (error_.empty()) {
      if (AtEnd()) return Fail("unterminated attribute value");
      const char c = s_[pos_];
      if (c == quote) {
        CoordinateText(LocalName(name), s_.substr(value_start, pos_ - value_start), name_start);
        ++pos_;
        return;
      }
      if (c == '<') return Fail("'<' inside an attribute value");
      if (c == '&') {
        Reference();
      } else {
        ++pos_;
      }
    }
  }

  std::string_view s_;
  ProgressSteps steps_;
  size_t pos_ = 0;
  std::vector<std::string_view> open_;
  // Where each open element's start tag and content begin.
  struct Start {
    size_t tag;
    size_t content;
  };
  std::vector<Start> starts_;
  // Where the content of the innermost open element starts, while it has no child element.
  size_t content_start_ = std::string_view::npos;
  bool root_seen_ = false;
  std::string error_;
  size_t name_min_bytes_ = 0;
  const std::function<bool(const XmlNameElement&)>* name_visit_ = nullptr;
  bool names_done_ = false;
  size_t counted_to_ = 0;
  int counted_line_ = 1;
};

}  // namespace

std::string CheckXmlWellFormed(std::string_view bytes, const ProgressFn& progress) {
  // Two bytes per character (with or without a byte-order mark): every other byte is zero.
  const bool utf16 = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
                     (bytes.size() >= 2 && (bytes[0] == '\0') != (bytes[1] == '\0'));
  if (utf16) {
    return "line 1, column 1: the file is written in UTF-16, which this reader does not take; "
           "save it as UTF-8";
  }
  return XmlScanner(bytes, progress).Run();
}

void FindLongNameElements(std::string_view bytes, size_t min_bytes,
                          const std::function<bool(const XmlNameElement&)>& visit) {
  XmlScanner scanner(bytes, {});
  scanner.WatchNames(min_bytes, &visit);
  scanner.Run();
}
