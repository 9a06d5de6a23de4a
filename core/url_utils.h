#pragma once
// Splitting web addresses into their parts, and the percent coding of texts in addresses and in
// the program's text exchange files.
#include <string>
#include <string_view>

// scheme = the text before "://" in lower case; host = the text after it up to the next '/';
// path = the rest from that '/'. Without "://" scheme and host are empty and path is the whole
// text; with "://" but no '/' after it, host is empty and path is the whole text.
void SplitUrl(std::string_view url, std::string& scheme, std::string& host, std::string& path);
// As SplitUrl, with the query after the first '?' split off (without the '?'); a '?' before the
// path's '/' ends the host.
void SplitUrlQuery(std::string_view url, std::string& scheme, std::string& host, std::string& path,
                   std::string& query);
// As SplitUrl, but the scheme keeps its case and "://" at the very start is no scheme (all of
// the text is then rest).
void ParseUrl(std::string_view url, std::string& scheme, std::string& host, std::string& rest);

// ASCII letters, digits and ".-_" pass, a space becomes '+', every other byte "%xx" (lower-case
// hexadecimal). UTF-8 text is coded byte by byte.
std::string UrlEncode(std::string_view text);
// '+' becomes a space and "%xx" (either case) the byte; any other '%' stays as it is.
std::string UrlDecode(std::string_view text);
// A name as a line of the text exchange files holds it: '%', carriage return and line feed
// become "%25", "%0d" and "%0a", every other byte stays. The decoder takes those three back (in
// either case) and leaves any other '%' as it is, so that names written without the coding
// read as they were.
std::string EncodeNameLineBreaks(std::string_view text);
std::string DecodeNameLineBreaks(std::string_view text);
