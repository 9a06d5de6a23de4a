#include "core/xml_node.h"

#include <cstring>

#include "core/string_utils.h"
#include "platform/os/numbers.h"

namespace {

double ParseNumber(std::string_view text) {
  double value = 0;
  return vd::os::ParseDouble(text, value) ? value : 0;
}

}  // namespace

std::string_view CXmlNode::raw_text() const {
  if (!(flags_ & kHasRaw)) return name();
  const char* raw = text_ + text_len_ + 1;
  return {raw, std::strlen(raw)};
}

CXmlNode* CXmlNode::FindChild(std::string_view name) {
  cursor_ = 0;
  flags_ |= kStarted;
  return FindNextChild(name, cursor_);
}

CXmlNode* CXmlNode::FindNextChild(std::string_view name, Cursor& cursor) {
  for (; cursor < child_count_; ++cursor) {
    if (children_[cursor].IsElementNamed(name)) return &children_[cursor++];
  }
  cursor = child_count_;
  return nullptr;
}

// The cursor counts the children whose subtrees are done. A child is left behind once its own
// traversal has nothing more (always so for a childless match); a match deeper down keeps the
// cursor on the child so that the next call resumes inside it.
CXmlNode* CXmlNode::FindNextDescendant(std::string_view name) {
  if (!(flags_ & kStarted)) {
    flags_ |= kStarted;
    cursor_ = 0;
    if (IsElementNamed(name)) return this;
  }
  while (cursor_ < child_count_) {
    CXmlNode& child = children_[cursor_];
    CXmlNode* found = child.FindNextDescendant(name);
    if (!found || child.cursor_ >= child.child_count_) ++cursor_;
    if (found) return found;
  }
  return nullptr;
}

void CXmlNode::ResetCursor() {
  cursor_ = 0;
  flags_ &= ~kStarted;
  for (CXmlNode& child : children()) child.ResetCursor();
}

bool CXmlNode::IsElementNamed(std::string_view name) const {
  return element() && EqualsNoCase(this->name(), name);
}

const char* CXmlNode::GetAttribute(std::string_view name) const {
  for (const Attribute& a : attributes()) {
    if (EqualsNoCase(a.name, name)) return a.value;
  }
  return nullptr;
}

double CXmlNode::GetAttributeDouble(std::string_view name, double fallback) const {
  const char* value = GetAttribute(name);
  return value ? ParseNumber(value) : fallback;
}

void CXmlNode::AppendInnerText(std::string& out, bool raw) const {
  if (!element()) out += raw ? raw_text() : text();
  for (const CXmlNode& child : children()) child.AppendInnerText(out, raw);
}

void CXmlNode::GetInnerText(std::string& out) const { AppendInnerText(out, false); }
void CXmlNode::GetRawInnerText(std::string& out) const { AppendInnerText(out, true); }

const CXmlNode* CXmlNode::FindChildElement(std::string_view name) const {
  for (const CXmlNode& child : children()) {
    if (child.IsElementNamed(name)) return &child;
  }
  return nullptr;
}

bool CXmlNode::GetChildString(std::string_view name, std::string& out) const {
  const CXmlNode* child = FindChildElement(name);
  if (child) child->GetInnerText(out);
  return child != nullptr;
}

bool CXmlNode::GetChildRawString(std::string_view name, std::string& out) const {
  const CXmlNode* child = FindChildElement(name);
  if (child) child->GetRawInnerText(out);
  return child != nullptr;
}

bool CXmlNode::GetChildDouble(std::string_view name, double& out) const {
  std::string text;
  if (!GetChildString(name, text)) return false;
  out = ParseNumber(text);
  return true;
}

bool CXmlNode::GetChildFloat(std::string_view name, float& out) const {
  double value = 0;
  if (!GetChildDouble(name, value)) return false;
  out = static_cast<float>(value);
  return true;
}

bool CXmlNode::GetChildShort(std::string_view name, int16_t& out) const {
  std::string text;
  if (!GetChildString(name, text)) return false;
  int64_t value = 0;
  if (!vd::os::ParseInt64(text, value)) value = 0;
  out = static_cast<int16_t>(static_cast<uint16_t>(value));
  return true;
}
