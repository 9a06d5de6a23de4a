#pragma once
// Writing XML elements as text, for GPX and similar files built in memory and then saved.
#include <string>
#include <string_view>

// Appends "<name>text</name>\n". A text holding '<', '>', '&' or a line feed goes into a CDATA
// section instead; a "]]>" inside it is split across two sections so that it survives.
void XmlWriteElement(std::string& out, std::string_view name, std::string_view text);
