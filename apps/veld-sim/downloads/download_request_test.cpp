#include "downloads/download_request.h"

#include <gtest/gtest.h>

#include "engine/test_model.h"

namespace sim {
namespace {

// A Download request's params in brief: its fault, or what was read.
std::string read(const char* params) {
  DownloadRequest r;
  k::Json p = k::json_parse(params);
  if (auto bad = read_download_request(p.get(), r)) return test::brief(*bad) + " " + bad->fault.detail;
  std::string out = r.type == FileType::kFirmware ? "Firmware" : "File";
  if (r.url) out += " url=" + *r.url;
  if (r.md5) out += " md5=" + *r.md5;
  if (r.target_name) out += " name=" + *r.target_name;
  if (r.file_size) out += " size=" + std::to_string(*r.file_size);
  if (r.need_pre_update) out += " pre";
  if (r.transaction_id) out += " tid=" + k::json_dump(r.transaction_id.get(), JSON_ENCODE_ANY);
  return out;
}

TEST(DownloadRequest, ReadsParamsAndRefusesBadOnes) {
  const char* shape = "-32602 expects FileType (text), URL, MD5, TargetFileName (texts), "
                      "FileSize (integer), NeedPreUpdate (boolean) and TransactionID";
  const struct {
    const char* params;
    std::string expected;
  } cases[] = {
      {R"({"FileType":"Firmware","URL":"file:///a","MD5":"0123456789ABCDEF0123456789abcdef","TargetFileName":"t","FileSize":5,"NeedPreUpdate":true})",
       "Firmware url=file:///a md5=0123456789abcdef0123456789abcdef name=t size=5 pre"},
      {R"({"FileType":"Firmware","TransactionID":7})", "Firmware tid=7"},
      {R"({"FileType":1})", shape},
      {R"({"FileType":"File","FileSize":"5"})", shape},
      {R"({"FileType":"Kernel"})", "9007 FileType \"Kernel\": expects Firmware, Config or File"},
      {R"({"FileType":"File","MD5":"0123456789abcdef0123456789abcdeg"})", "9007 MD5 must be 32 hex digits"},
      {R"({"FileType":"File","FileSize":-1})", "9007 FileSize must not be negative"},
  };
  for (const auto& c : cases) EXPECT_EQ(read(c.params), c.expected) << c.params;
}

TEST(DownloadRequest, SourceUrls) {
  const struct {
    const char* url;
    std::string expected;  // scheme and parts, or the fault
  } cases[] = {
      {"file://tmp/fw.img", "9007 URL \"file://tmp/fw.img\": expects file://ABSOLUTE_PATH"},
      {"netcat://127.0.0.1:4700", "netcat 127.0.0.1 4700"},
      {"netcat://127.0.0.1", "9007 URL \"netcat://127.0.0.1\": expects netcat://HOST:PORT"},
      {"netcat://h:0", "9007 URL \"netcat://h:0\": the port must be a number from 1 to 65535"},
      {"netcat://h:+80", "9007 URL \"netcat://h:+80\": the port must be a number from 1 to 65535"},
      {"https://", "9007 URL \"https://\": no host"},
      {"ftp://example.com/fw.img",
       "9013 the scheme \"ftp\" is not fetched (expects file://, netcat://, http:// or https://)"},
      {"/tmp/fw.img",
       "9013 URL \"/tmp/fw.img\" has no scheme (expects file://, netcat://, http:// or https://)"},
  };
  for (const auto& c : cases) {
    SourceUrl url;
    std::string got;
    if (auto bad = read_source_url(c.url, url))
      got = test::brief(*bad) + " " + bad->fault.detail;
    else
      got = "netcat " + url.host + " " + std::to_string(url.port);
    EXPECT_EQ(got, c.expected) << c.url;
  }
}

TEST(DownloadRequest, FileNames) {
  const struct {
    const char* url;
    const char* name;  // url_file_name
  } urls[] = {
      {"http://example.com/files/fw.img?x=1#y", "fw.img"}, {"http://example.com", ""}, {"netcat://1.2.3.4:5", ""},
  };
  for (const auto& c : urls) EXPECT_EQ(url_file_name(c.url), c.name) << c.url;
  const struct {
    std::string name;
    bool safe;
  } names[] = {
      {".hidden", true}, {"a..b", false}, {".", false}, {"", false}, {"a/b", false},
      {std::string(255, 'x'), true}, {std::string(256, 'x'), false}, {std::string("a\0b", 3), false},
  };
  for (const auto& c : names) EXPECT_EQ(is_safe_file_name(c.name), c.safe) << c.name;
}

}  // namespace
}  // namespace sim
