#pragma once
// The well-formedness test the GPX, LOC and TCX readers run before they build a tree: the tree
// reader accepts broken documents (a truncated download, an unescaped '&') without a word, and an
// import must refuse those with the place of the fault instead of bringing in part of a file.
#include <functional>
#include <string>
#include <string_view>

#include "core/work_progress.h"

// Empty when the bytes are one well-formed XML document: a single root element, balanced and
// matching tags, quoted attribute values without '<', entity and character references of the
// form "&name;", "&#n;" or "&#xh;", closed comments, CDATA sections and processing
// instructions, no control character other than tab, line feed and carriage return, and
// nothing but blanks and those outside the root. Beyond well-formedness it
// refuses what the tree reader would silently drop or cut (a text, CDATA section or tag longer
// than kXmlMaxRun bytes, elements nested deeper than kXmlMaxDepth) and coordinates off the
// globe: a "lat" or "lon" attribute, or the text of a "LatitudeDegrees" or "LongitudeDegrees"
// element, that is not a number within -90..90 (latitudes) or -180..180 (longitudes).
// Otherwise "line L, column C: what is wrong" (both counted from 1, columns in bytes); a file
// in UTF-16 is told apart from a broken one.
// progress, when given, hears of the bytes checked; when it asks to stop, the answer is not
// empty and says nothing.
std::string CheckXmlWellFormed(std::string_view bytes, const ProgressFn& progress = {});

// An element an object's name is read from: "name" (GPX, LOC) or "Id" (TCX), with any prefix and
// in any case. The whole element from its start tag to its end tag, and the line it starts on.
struct XmlNameElement {
  std::string_view element;
  int line;
};
// Hands visit each such element of a document that passed CheckXmlWellFormed whose content (all
// between its tags, as the file holds it) is at least min_bytes long, as the element ends; stops
// once visit returns false. An import that cut a long name finds there the line to name.
void FindLongNameElements(std::string_view bytes, size_t min_bytes,
                          const std::function<bool(const XmlNameElement&)>& visit);
