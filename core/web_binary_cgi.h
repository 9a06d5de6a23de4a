#pragma once
// A field stream over one POST to a CGI program of the maker's server (see type_serializer.h):
// the fields written after construction form the request body; Send posts it and switches to
// reading the fields of the reply.
//
//   CWebBinaryCGI cgi(host, "cgi-bin/mapstore3.cgi", true);
//   cgi.Tag(101); ...            // request fields
//   if (cgi.Send()) { cgi.Tag(...); ... }  // reply fields
//   if (cgi.ok()) ...
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/http_connection.h"
#include "core/type_serializer.h"

class CWebBinaryCGI : public CTypeSerializer {
 public:
  // Replies kept for reading are at most this long; a longer one fails Send.
  static constexpr size_t kMaxReplyBytes = 64 * 1024 * 1024;
  static constexpr uint64_t kMaxPostFileBytes = 10'000'000;

  // host: "name" or "name:port" (the port then comes from the text); port 0: 443 when secure,
  // else 80.
  CWebBinaryCGI(const std::string& host, const std::string& cgi_path, bool secure, int port = 0);

  // Write mode: appends to the request body. Read mode: clears ok.
  void Write(const void* data, int32_t length) override;
  // Read mode: the next length bytes of the reply; false (the reply used up) when fewer are left.
  bool Read(void* buffer, int32_t length) override;

  // Posts the written fields (no content type). Then read mode from the reply's start with ok
  // set. False when the transfer failed or the status is 300 or more; there is then nothing to
  // read.
  bool Send();
  // Posts the whole file (1 .. kMaxPostFileBytes bytes) and replaces it with the reply, through
  // "<path>.TMP" renamed over it, only when the status is below 300 and the reply arrived whole.
  // False (the file untouched) otherwise, or when the size is out of range or the file can't be
  // read; the server is not contacted then.
  bool PostFile(const std::string& path);

  // "VD-<version>-<build>/<system name>-<system version>", the last two from os-release.
  static const std::string& UserAgent();

 private:
  CHttpConnection connection_;
  std::string cgi_path_;
  std::string buffer_;      // the request body, then the reply
  size_t read_offset_ = 0;  // in the reply
};
