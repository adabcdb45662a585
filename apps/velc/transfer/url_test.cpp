// Telling a URL from a path.
#include "transfer/url.h"

#include <gtest/gtest.h>

namespace {

TEST(Url, SchemeThenSeparatorThenSomething) {
  for (const char* url : {"http://10.0.0.1/fw.img", "file:///tmp/fw.img", "svn+ssh://h/r",
                          "a-b.c://x", "X://y"})
    EXPECT_TRUE(k::is_url(url)) << url;
  for (const char* path : {"fw.img", "/tmp/fw.img", "./http://x", "http://", "://host/fw",
                           "1http://host", "ht tp://host", "ht_tp://host", "http:/host", ""})
    EXPECT_FALSE(k::is_url(path)) << path;
}

}  // namespace
