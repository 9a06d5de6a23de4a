#include "core/xml_writer.h"

void XmlWriteElement(std::string& out, std::string_view name, std::string_view text) {
  const bool cdata = text.find_first_of("<>&\n") != std::string_view::npos;
  out += '<';
  out += name;
  out += '>';
  if (cdata) {
    out += "<![CDATA[";
    for (size_t end = text.find("]]>"); end != std::string_view::npos; end = text.find("]]>")) {
      out += text.substr(0, end + 2);
      out += "]]><![CDATA[";
      text.remove_prefix(end + 2);
    }
    out += text;
    out += "]]>";
  } else {
    out += text;
  }
  out += "</";
  out += name;
  out += ">\n";
}
