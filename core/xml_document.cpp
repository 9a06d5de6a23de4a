#include "core/xml_document.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "core/string_utils.h"
#include "platform/os/codepage.h"
#include "platform/os/files.h"

static_assert(std::is_trivially_copyable_v<CXmlNode>, "nodes are moved with memcpy");

namespace {

// Longest name, text run or tag body kept; reading of a longer one stops after one more byte.
constexpr size_t kMaxRun = kXmlMaxRun;
// Open elements kept; anything deeper is skipped.
constexpr size_t kMaxDepth = kXmlMaxDepth;
// Storage comes in blocks of this size; larger pieces get a block of their own.
constexpr size_t kBlockBytes = size_t{1} << 20;

enum CharClass : uint8_t { kSpace = 1, kNameEnd = 2, kTokenEnd = 4 };

constexpr std::array<uint8_t, 256> MakeCharClasses() {
  std::array<uint8_t, 256> classes{};
  for (unsigned char c : {' ', '\t', '\n', '\r', '\v', '\f'}) classes[c] |= kSpace;
  for (unsigned char c : {' ', '\t', '\n', '\r', '[', '<', '>'}) classes[c] |= kNameEnd;
  for (unsigned char c : {' ', '\t', '\n', '\r', '=', '"', '\''}) classes[c] |= kTokenEnd;
  return classes;
}
constexpr std::array<uint8_t, 256> kCharClasses = MakeCharClasses();

bool Is(char c, CharClass what) { return kCharClasses[static_cast<unsigned char>(c)] & what; }

bool HasHighByte(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; });
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// "ns:name" -> "name".
std::string_view WithoutPrefix(std::string_view name) {
  size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The reference at the start of `text` (which begins with '&'): appends what it stands for and
// returns its length, or 0 when it is not a predefined or well-formed numeric reference.
size_t DecodeReference(std::string_view text, std::string& out) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  for (const auto& [name, c] : kNamed) {
    if (StartsWith(text, name)) {
      out += c;
      return name.size();
    }
  }
  if (!StartsWith(text, "&#")) return 0;
  size_t i = 2;
  const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
  if (hex) ++i;
  const size_t first_digit = i;
  uint32_t code = 0;
  for (; i < text.size() && text[i] != ';'; ++i) {
    int digit = HexDigitValue(text[i]);
    bool is_digit = hex ? (digit != 0 || text[i] == '0') : (text[i] >= '0' && text[i] <= '9');
    if (!is_digit) return 0;
    code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    if (code > 0x10FFFF) return 0;
  }
  if (i == first_digit || i == text.size()) return 0;
  if (code == 0 || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  AppendUtf8(out, code);
  return i + 1;
}

// Decodes the references of `text` into `out` (replacing its content); false when there was
// nothing to decode.
bool DecodeEntities(std::string_view text, std::string& out) {
  size_t amp = text.find('&');
  if (amp == std::string_view::npos) return false;
  out.assign(text.substr(0, amp));
  bool decoded = false;
  while (amp != std::string_view::npos) {
    size_t used = DecodeReference(text.substr(amp), out);
    if (used == 0) {
      out += '&';
      used = 1;
    }
    decoded |= used > 1;
    size_t next = text.find('&', amp + used);
    out.append(text.substr(amp + used,
                           (next == std::string_view::npos ? text.size() : next) - (amp + used)));
    amp = next;
  }
  return decoded;
}

}  // namespace

// Reads the bytes in one pass, keeping the open elements on an explicit stack, so nesting of any
// depth costs no recursion. The children of the element open at each level gather in that
// level's vector and move into the document's storage, contiguous, when their element ends.
class CXmlTreeBuilder {
 public:
  CXmlTreeBuilder(CXmlDocument& document, std::string_view bytes, const ProgressFn& progress,
                  const vd::os::MappedFile* source)
      : document_(document),
        begin_(bytes.data()),
        p_(bytes.data()),
        end_(bytes.data() + bytes.size()),
        steps_(progress, static_cast<int64_t>(bytes.size())),
        source_(source),
        check_bytes_(std::clamp<size_t>(bytes.size() / ProgressSteps::kSteps, kMinCheckBytes,
                                        kMaxCheckBytes)) {
    if (bytes.empty()) return;
    if (const void* nul = std::memchr(p_, 0, bytes.size())) end_ = static_cast<const char*>(nul);
    next_check_ = begin_ + check_bytes_;
  }

  // The root, or null when the progress asked to stop.
  CXmlNode* Build() {
    if (!steps_(0)) return nullptr;
    while (!root_) {
      SkipSpace();
      if (p_ == end_) break;
      if (p_ >= next_check_ && !Check()) return nullptr;
      if (*p_ != '<') {
        ReadText();
      } else {
        ++p_;
        ReadMarkup();
      }
    }
    while (!root_ && !stack_.empty()) CloseTop();
    if (!root_) root_ = StoreNode(CXmlNode());
    return root_;
  }

 private:
  struct Open {
    CXmlNode node;
    std::string_view raw_name;  // as the file spells it, for matching closing tags
  };
  // Bytes read between two looks at the progress and at the pages read.
  static constexpr size_t kMinCheckBytes = size_t{16} << 10;
  static constexpr size_t kMaxCheckBytes = size_t{1} << 20;
  // Pages read are let go in pieces of at least this size: each time costs far more than the
  // bytes' worth of reading (the mapping changes under every thread of the process).
  static constexpr size_t kReleaseBytes = size_t{8} << 20;

  // Tells the progress and lets the source's pages go up to where reading is; false to stop.
  bool Check() {
    next_check_ = p_ + check_bytes_;
    const auto done = static_cast<size_t>(p_ - begin_);
    if (source_ && done >= released_ + kReleaseBytes) {
      // The names of open elements point into the bytes: reading them again costs a fault.
      source_->Release(released_, done - released_);
      released_ = done;
    }
    return steps_(static_cast<int64_t>(done));
  }

  void SkipSpace() {
    while (p_ != end_ && Is(*p_, kSpace)) ++p_;
  }

  size_t Left() const { return static_cast<size_t>(end_ - p_); }

  // Character data up to the next '<'.
  void ReadText() {
    const char* start = p_;
    size_t window = std::min(Left(), kMaxRun + 1);
    const void* lt = std::memchr(start, '<', window);
    if (lt) {
      p_ = static_cast<const char*>(lt);
    } else {
      p_ = start + window;
      if (window > kMaxRun) return;  // overlong: dropped
    }
    if (stack_.empty() || skip_depth_ > 0) return;  // nothing outside the root, nor deep down
    AddText({start, static_cast<size_t>(p_ - start)}, true);
  }

  // Whatever follows a '<'.
  void ReadMarkup() {
    SkipSpace();
    const char* start = p_;
    const char* limit = start + std::min(Left(), kMaxRun + 1);
    while (p_ != limit && !Is(*p_, kNameEnd)) ++p_;
    std::string_view name(start, static_cast<size_t>(p_ - start));
    if (name.size() > kMaxRun || name.empty()) return;  // an element without a name is dropped

    if (StartsWith(name, "!--")) return SkipPast(start + 3, "-->");
    if (name == "!" && AtCdataStart()) return ReadCdata();

    if (name[0] == '/') {
      ReadTagBody();
      return CloseElement(WithoutPrefix(name.substr(1)));
    }
    bool childless = false;
    if (name.back() == '/') {
      childless = true;
      name.remove_suffix(1);
    }
    name = WithoutPrefix(name);
    std::string_view body = ReadTagBody();
    if (!body.empty() && body.back() == '/') {
      childless = true;
      body.remove_suffix(1);
    }
    if (!name.empty() && name[0] == '!') return OpenElement(name, body, true);  // DOCTYPE and such
    if (!name.empty() && name[0] == '?') {
      // The XML declaration holds the document, other processing instructions nothing.
      if (!body.empty() && body.back() == '?') body.remove_suffix(1);
      childless = childless || !EqualsNoCase(name, "?xml");
    }
    OpenElement(name, body, childless);
  }

  void SkipPast(const char* from, std::string_view terminator) {
    const void* found =
        memmem(from, static_cast<size_t>(end_ - from), terminator.data(), terminator.size());
    p_ = found ? static_cast<const char*>(found) + terminator.size() : end_;
  }

  // After "<!": white space, then "[CDATA[" in any case.
  bool AtCdataStart() {
    const char* q = p_;
    while (q != end_ && Is(*q, kSpace)) ++q;
    std::string_view rest(q, static_cast<size_t>(end_ - q));
    if (rest.size() < 7 || rest[0] != '[' || rest[6] != '[' ||
        !EqualsNoCase(rest.substr(1, 5), "CDATA")) {
      return false;
    }
    p_ = q + 7;
    return true;
  }

  void ReadCdata() {
    const char* start = p_;
    const void* found = memmem(start, std::min(Left(), kMaxRun + 3), "]]>", 3);
    if (found) {
      p_ = static_cast<const char*>(found) + 3;
    } else if (Left() > kMaxRun) {
      p_ = start + kMaxRun + 1;  // overlong: dropped
      return;
    } else {
      p_ = end_;
    }
    const char* text_end = found ? static_cast<const char*>(found) : end_;
    if (stack_.empty() || skip_depth_ > 0) return;
    AddText({start, static_cast<size_t>(text_end - start)}, false);
  }

  // The rest of a tag up to '>' (not included; a '>' inside quotes does not count).
  std::string_view ReadTagBody() {
    const char* start = p_;
    const char* limit = start + std::min(Left(), kMaxRun + 1);
    char quote = 0;
    for (const char* q = start; q != limit; ++q) {
      char c = *q;
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '>') {
        p_ = q + 1;
        return {start, static_cast<size_t>(q - start)};
      } else if (c == '"' || c == '\'') {
        quote = c;
      }
    }
    // No '>': the body runs to the end of the file, or is overlong and emptied, reading going
    // on behind its kMaxRun + 1st byte.
    p_ = limit;
    std::string_view body(start, static_cast<size_t>(limit - start));
    return body.size() > kMaxRun ? std::string_view() : body;
  }

  void OpenElement(std::string_view raw_name, std::string_view body, bool childless) {
    if (skip_depth_ > 0 || stack_.size() == kMaxDepth) {
      if (!childless) ++skip_depth_;
      return;
    }
    // Declarations and stray instructions before the root are not the document.
    if (stack_.empty() && !raw_name.empty() &&
        (raw_name[0] == '!' || (raw_name[0] == '?' && !EqualsNoCase(raw_name, "?xml")))) {
      return;
    }
    CXmlNode node;
    node.flags_ = CXmlNode::kElement;
    std::string_view name = AsUtf8(raw_name);
    node.text_ = InternName(name);
    node.text_len_ = static_cast<uint32_t>(name.size());
    StoreAttributes(node, body);
    if (!seen_element_) {
      seen_element_ = true;
      const char* encoding =
          EqualsNoCase(raw_name, "?xml") ? node.GetAttribute("encoding") : nullptr;
      convert_cp1252_ = encoding && (EqualsNoCase(encoding, "windows-1252") ||
                                     EqualsNoCase(encoding, "ISO-8859-1"));
    }
    if (childless) return AddChild(node);
    stack_.push_back({node, raw_name});
    if (children_.size() < stack_.size()) children_.emplace_back();
  }

  // Ends the innermost open element of that name and everything opened inside it.
  void CloseElement(std::string_view raw_name) {
    if (skip_depth_ > 0) {
      --skip_depth_;
      return;
    }
    for (size_t i = stack_.size(); i-- > 0;) {
      if (EqualsNoCase(stack_[i].raw_name, raw_name)) {
        while (stack_.size() > i) CloseTop();
        return;
      }
    }
  }

  void CloseTop() {
    CXmlNode node = stack_.back().node;
    std::vector<CXmlNode>& children = children_[stack_.size() - 1];
    stack_.pop_back();
    if (!children.empty()) {
      // Counted first: StoreChildren may take the vector over.
      node.child_count_ = static_cast<uint32_t>(children.size());
      node.children_ = document_.StoreChildren(children);
      children.clear();
    }
    AddChild(node);
  }

  void AddText(std::string_view raw, bool decode) {
    CXmlNode node;
    StoreText(node, raw, decode);
    AddChild(node);
  }

  // A node is complete: the root when nothing is open, else the next child of the innermost
  // open element. A node without a name is dropped.
  void AddChild(const CXmlNode& node) {
    if (node.text_len_ == 0) return;
    if (stack_.empty()) {
      root_ = StoreNode(node);
    } else {
      children_[stack_.size() - 1].push_back(node);
    }
  }

  CXmlNode* StoreNode(const CXmlNode& node) {
    void* place = document_.Allocate(sizeof(CXmlNode), alignof(CXmlNode));
    return new (place) CXmlNode(node);
  }

  // The bytes as UTF-8: converted when the document is in the Windows code page.
  std::string_view AsUtf8(std::string_view raw) {
    if (!convert_cp1252_ || !HasHighByte(raw)) return raw;
    converted_ = vd::os::Cp1252ToUtf8(raw);
    return converted_;
  }

  const char* StoreString(std::string_view text) {
    char* copy = document_.Allocate(text.size() + 1, 1);
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
  }

  // Names repeat: each distinct one is stored once.
  const char* InternName(std::string_view name) {
    auto found = names_.find(name);
    if (found != names_.end()) return found->data();
    const char* stored = StoreString(name);
    names_.emplace(stored, name.size());
    return stored;
  }

  // The node's text; with `decode`, entity references are decoded and, when there were any,
  // the undecoded text is kept behind the decoded one.
  void StoreText(CXmlNode& node, std::string_view raw, bool decode) {
    std::string_view text = AsUtf8(raw);
    if (decode && DecodeEntities(text, decoded_)) {
      char* both = document_.Allocate(decoded_.size() + text.size() + 2, 1);
      std::memcpy(both, decoded_.data(), decoded_.size());
      both[decoded_.size()] = '\0';
      std::memcpy(both + decoded_.size() + 1, text.data(), text.size());
      both[decoded_.size() + 1 + text.size()] = '\0';
      node.text_ = both;
      node.text_len_ = static_cast<uint32_t>(decoded_.size());
      node.flags_ |= CXmlNode::kHasRaw;
      return;
    }
    node.text_ = StoreString(text);
    node.text_len_ = static_cast<uint32_t>(text.size());
  }

  // Splits the tag body into tokens (white space separates them, '=' is one of its own, a quote
  // starts one that ends at the same quote) and pairs them: a name, then "=" and the value when
  // the next token is "=", else an empty value. Pairs without a name are dropped.
  void StoreAttributes(CXmlNode& node, std::string_view body) {
    tokens_.clear();
    const char* q = body.data();
    const char* end = q + body.size();
    while (q != end) {
      char c = *q;
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++q;
      } else if (c == '=') {
        tokens_.push_back({{q, 1}, true});
        ++q;
      } else if (c == '"' || c == '\'') {
        const char* close =
            static_cast<const char*>(std::memchr(q + 1, c, static_cast<size_t>(end - q - 1)));
        if (!close) close = end;
        tokens_.push_back({{q + 1, static_cast<size_t>(close - q - 1)}, false});
        q = close == end ? end : close + 1;
      } else {
        const char* start = q;
        while (q != end && !Is(*q, kTokenEnd)) ++q;
        tokens_.push_back({{start, static_cast<size_t>(q - start)}, false});
      }
    }
    attributes_.clear();
    for (size_t i = 0; i < tokens_.size();) {
      std::string_view name = tokens_[i].text;
      std::string_view value;
      if (i + 1 < tokens_.size() && tokens_[i + 1].equals) {
        if (i + 2 < tokens_.size()) value = tokens_[i + 2].text;
        i += 3;
      } else {
        i += 1;
      }
      if (name.empty()) continue;
      CXmlNode::Attribute attribute;
      attribute.name = InternName(AsUtf8(name));
      std::string_view text = AsUtf8(value);
      attribute.value =
          StoreString(DecodeEntities(text, decoded_) ? std::string_view(decoded_) : text);
      attributes_.push_back(attribute);
    }
    if (attributes_.empty()) return;
    size_t bytes = attributes_.size() * sizeof(CXmlNode::Attribute);
    void* place = document_.Allocate(bytes, alignof(CXmlNode::Attribute));
    std::memcpy(place, attributes_.data(), bytes);
    node.attrs_ = static_cast<const CXmlNode::Attribute*>(place);
    node.attr_count_ = static_cast<uint16_t>(attributes_.size());
  }

  struct Token {
    std::string_view text;
    bool equals;  // the '=' token, not a quoted "="
  };

  CXmlDocument& document_;
  const char* const begin_;
  const char* p_;
  const char* end_;
  ProgressSteps steps_;
  const vd::os::MappedFile* const source_;
  const size_t check_bytes_;
  const char* next_check_ = nullptr;
  size_t released_ = 0;  // bytes of the source whose pages were let go
  CXmlNode* root_ = nullptr;
  std::vector<Open> stack_;
  std::vector<std::vector<CXmlNode>> children_;  // [level]: children of stack_[level] so far
  size_t skip_depth_ = 0;                        // elements open inside the deepest kept one
  bool seen_element_ = false;
  bool convert_cp1252_ = false;
  std::unordered_set<std::string_view> names_;  // views of the document's storage
  std::vector<Token> tokens_;
  std::vector<CXmlNode::Attribute> attributes_;
  std::string converted_;
  std::string decoded_;
};

CXmlNode* CXmlDocument::Load(const std::string& path, const ProgressFn& progress) {
  vd::os::MappedFile file;
  if (!file.Open(path)) {
    Clear();
    return nullptr;
  }
  return Parse(file, progress);
}

CXmlNode* CXmlDocument::Parse(std::string_view bytes, const ProgressFn& progress) {
  return Build(bytes, progress, nullptr);
}

CXmlNode* CXmlDocument::Parse(const vd::os::MappedFile& file, const ProgressFn& progress) {
  return Build({reinterpret_cast<const char*>(file.data()), file.size()}, progress, &file);
}

CXmlNode* CXmlDocument::Build(std::string_view bytes, const ProgressFn& progress,
                              const vd::os::MappedFile* source) {
  Clear();
  root_ = CXmlTreeBuilder(*this, bytes, progress, source).Build();
  if (!root_) Clear();
  return root_;
}

CXmlNode* CXmlDocument::StoreChildren(std::vector<CXmlNode>& children) {
  const size_t bytes = children.size() * sizeof(CXmlNode);
  if (bytes > kBlockBytes / 4) {
    // Taken over as it is: a copy would need the memory twice at the peak.
    storage_bytes_ += children.capacity() * sizeof(CXmlNode);
    large_children_.push_back(std::move(children));
    return large_children_.back().data();
  }
  void* place = Allocate(bytes, alignof(CXmlNode));
  std::memcpy(place, children.data(), bytes);
  return static_cast<CXmlNode*>(place);
}

void CXmlDocument::Clear() {
  root_ = nullptr;
  large_children_.clear();
  blocks_.clear();
  free_ = nullptr;
  free_bytes_ = 0;
  storage_bytes_ = 0;
}

char* CXmlDocument::Allocate(size_t bytes, size_t alignment) {
  size_t pad = (alignment - reinterpret_cast<uintptr_t>(free_) % alignment) % alignment;
  if (free_ == nullptr || pad + bytes > free_bytes_) {
    const bool own_block = bytes > kBlockBytes / 4;
    const size_t size = own_block ? bytes : kBlockBytes;
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    storage_bytes_ += size;
    if (own_block) return blocks_.back().get();
    free_ = blocks_.back().get();
    free_bytes_ = kBlockBytes;
    pad = 0;
  }
  char* place = free_ + pad;
  free_ += pad + bytes;
  free_bytes_ -= pad + bytes;
  return place;
}
