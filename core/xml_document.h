#pragma once
// A small tolerant XML reader: it builds a tree of CXmlNode from GPX files and similar replies
// and accepts unbalanced or otherwise imperfect input rather than refusing it.
//
// What it makes of a document:
// - Everything before the first '<' is skipped; one node, the root, is read. A leading XML
//   declaration becomes the root, an element named "?xml" whose children are the document's
//   elements, so callers search by name rather than take the root.
// - Element names lose their namespace prefix ("gpx:trk" is "trk"). Names match without regard
//   to ASCII case.
// - Text keeps its white space except at its start; white space alone between elements makes
//   no node. The five predefined and all numeric entity references are decoded in text and
//   attribute values; anything else after '&' stays as it is. CDATA sections are text nodes.
// - Comments make no node. Declarations such as <!DOCTYPE ...> and processing instructions
//   other than the leading "?xml" are childless elements.
// - A closing tag ends the innermost open element of that name and every element opened inside
//   it; a closing tag that matches no open element is ignored. At the end of the file every
//   element still open ends.
// - An element nested deeper than 256 levels is skipped together with its content.
// - A name, text run or tag body longer than 100,000 bytes is emptied (an element or text node
//   with an empty name is dropped; a tag body's attributes are lost) and reading goes on after
//   its 100,001st byte as ordinary content.
// - A NUL byte ends the document.
// - The document is UTF-8 unless its declaration names encoding "windows-1252" or
//   "ISO-8859-1"; those are converted, so the tree always holds UTF-8.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/work_progress.h"
#include "core/xml_node.h"

namespace vd::os {
class MappedFile;
}

// The longest name, text run or tag body the reader keeps, in bytes, and the deepest nesting of
// elements it keeps (see above).
inline constexpr size_t kXmlMaxRun = 100000;
inline constexpr size_t kXmlMaxDepth = 256;

class CXmlDocument {
 public:
  CXmlDocument() = default;
  CXmlDocument(const CXmlDocument&) = delete;
  CXmlDocument& operator=(const CXmlDocument&) = delete;

  // Reads the file; the root node, or null when the file can't be opened. A file with no
  // element gives an empty text node. The previous tree is freed.
  //
  // progress, when given, hears of the bytes read so far and may stop the reading: the tree is
  // then empty and the result null.
  CXmlNode* Load(const std::string& path, const ProgressFn& progress = {});
  // The same for a document held in memory.
  CXmlNode* Parse(std::string_view bytes, const ProgressFn& progress = {});
  // The same for a mapped file, whose pages are let go as the reading passes them, so that a
  // large file does not stay in memory beside its tree.
  CXmlNode* Parse(const vd::os::MappedFile& file, const ProgressFn& progress = {});

  CXmlNode* root() { return root_; }
  // Bytes the tree occupies (its storage blocks).
  size_t StorageBytes() const { return storage_bytes_; }

 private:
  friend class CXmlTreeBuilder;

  CXmlNode* Build(std::string_view bytes, const ProgressFn& progress,
                  const vd::os::MappedFile* source);
  void Clear();
  // Uninitialised storage that lives as long as the tree.
  char* Allocate(size_t bytes, size_t alignment);
  // A lasting copy of an element's children; a long list is taken over, leaving `children` in
  // a valid but unspecified state.
  CXmlNode* StoreChildren(std::vector<CXmlNode>& children);

  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<std::vector<CXmlNode>> large_children_;
  char* free_ = nullptr;
  size_t free_bytes_ = 0;
  size_t storage_bytes_ = 0;
  CXmlNode* root_ = nullptr;
};
