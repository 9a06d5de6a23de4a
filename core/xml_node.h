#pragma once
// One node of the tree CXmlDocument builds: an element (name without namespace prefix,
// attributes, children) or a run of text (character data or a CDATA section).
//
// Nodes are small views into storage their document owns: every pointer and string they hand
// out stays valid until the document loads another file or goes away. Strings are UTF-8 and
// NUL-terminated. Names match without regard to ASCII case.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class CXmlNode {
 public:
  struct Attribute {
    const char* name;
    const char* value;  // entity references decoded
  };
  // The index of the next child a child search looks at.
  using Cursor = uint32_t;

  CXmlNode() = default;

  bool element() const { return (flags_ & kElement) != 0; }
  // The element's name, or the text of a text node (entity references decoded).
  std::string_view name() const { return {text_, text_len_}; }
  std::string_view text() const { return name(); }
  // The text as the file holds it, entity references not decoded (a CDATA section's text is
  // never decoded, so there both are the same).
  std::string_view raw_text() const;
  std::span<const Attribute> attributes() const { return {attrs_, attr_count_}; }
  std::span<CXmlNode> children() { return {children_, child_count_}; }
  std::span<const CXmlNode> children() const { return {children_, child_count_}; }

  // The first child element with that name; the node's cursor is left after it (at the end
  // when there is none), so FindNextChild(name, cursor) goes on from there.
  CXmlNode* FindChild(std::string_view name);
  // The next child element with that name from `cursor` on; the cursor moves past it (to the end
  // when there is none). A cursor of 0 starts at the first child.
  CXmlNode* FindNextChild(std::string_view name, Cursor& cursor);
  Cursor cursor() const { return cursor_; }
  // Depth-first, pre-order search through the node itself and its descendants that resumes
  // where the previous call stopped: each matching element is returned once, then null until
  // ResetCursor starts a new traversal.
  CXmlNode* FindNextDescendant(std::string_view name);
  // Rewinds the cursors of this node and of all its descendants.
  void ResetCursor();

  bool IsElementNamed(std::string_view name) const;
  // The value of the first attribute with that name; null when there is none.
  const char* GetAttribute(std::string_view name) const;
  // The attribute read as a number in the C locale (0 when it does not start with one), or
  // `fallback` when the attribute is absent.
  double GetAttributeDouble(std::string_view name, double fallback) const;

  // Appends the text of this node (when a text node) and of every descendant, in document
  // order. The raw form appends the undecoded texts.
  void GetInnerText(std::string& out) const;
  void GetRawInnerText(std::string& out) const;
  // The inner text of the first child element with that name appended to `out`; false when
  // there is no such child.
  bool GetChildString(std::string_view name, std::string& out) const;
  bool GetChildRawString(std::string_view name, std::string& out) const;
  // That child's text read as a number in the C locale (0 when it does not start with one);
  // false, and `out` untouched, when there is no such child. GetChildShort keeps the low 16 bits
  // of the integer.
  bool GetChildDouble(std::string_view name, double& out) const;
  bool GetChildFloat(std::string_view name, float& out) const;
  bool GetChildShort(std::string_view name, int16_t& out) const;

 private:
  friend class CXmlTreeBuilder;

  static constexpr uint8_t kElement = 1;
  static constexpr uint8_t kHasRaw = 2;   // the undecoded text follows the text's NUL
  static constexpr uint8_t kStarted = 4;  // FindNextDescendant has visited the node itself

  const CXmlNode* FindChildElement(std::string_view name) const;
  void AppendInnerText(std::string& out, bool raw) const;

  // 40 bytes: a 50 MB track file makes millions of nodes.
  const char* text_ = "";
  CXmlNode* children_ = nullptr;
  const Attribute* attrs_ = nullptr;
  uint32_t text_len_ = 0;
  uint32_t child_count_ = 0;
  Cursor cursor_ = 0;
  uint16_t attr_count_ = 0;  // a tag body holds at most 100,000 characters, so < 50,001
  uint8_t flags_ = 0;
};
