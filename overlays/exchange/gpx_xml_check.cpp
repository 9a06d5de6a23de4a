#include "overlays/exchange/gpx_xml_check.h"

#include <vector>

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
  explicit XmlScanner(std::string_view bytes) : s_(bytes) {}

  std::string Run() {
    if (s_.starts_with("\xEF\xBB\xBF")) pos_ = 3;
    while (error_.empty() && pos_ < s_.size()) {
      if (s_[pos_] == '<') {
        Markup();
      } else {
        Text();
      }
    }
    if (error_.empty()) {
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
  }

  void Markup() {
    const size_t start = pos_;
    if (Next("<!--")) {
      pos_ += 4;
      SkipPast("-->", "comment", start);
    } else if (Next("<![CDATA[")) {
      if (open_.empty()) return Fail("CDATA section outside the root element");
      pos_ += 9;
      SkipPast("]]>", "CDATA section", start);
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
    open_.pop_back();
    ++pos_;
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
      if (Next("/>")) {
        pos_ += 2;
        root_seen_ = true;
        return;
      }
      if (s_[pos_] == '>') {
        ++pos_;
        root_seen_ = true;
        open_.push_back(name);
        return;
      }
      if (pos_ == before) return Fail("attributes must be separated by blanks");
      Attribute();
    }
  }

  void Attribute() {
    if (Name().empty()) return Fail("malformed attribute");
    SkipBlanks();
    if (AtEnd() || s_[pos_] != '=') return Fail("attribute without '='");
    ++pos_;
    SkipBlanks();
    if (AtEnd() || (s_[pos_] != '"' && s_[pos_] != '\'')) {
      return Fail("attribute value without quotes");
    }
    const char quote = s_[pos_++];
    while (error_.empty()) {
      if (AtEnd()) return Fail("unterminated attribute value");
      const char c = s_[pos_];
      if (c == quote) {
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
  size_t pos_ = 0;
  std::vector<std::string_view> open_;
  bool root_seen_ = false;
  std::string error_;
};

}  // namespace

std::string CheckXmlWellFormed(std::string_view bytes) { return XmlScanner(bytes).Run(); }
