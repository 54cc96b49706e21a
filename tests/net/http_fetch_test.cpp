#include <gtest/gtest.h>

#include "net/http_fetch.h"

namespace fernlite {
namespace {

TEST(SplitUrl, TakesHostPortAndTheWholeRequestObject) {
  auto parts = SplitUrl(u"http://jk.example.com/jk/1.html?a+b/c==#frag");
  ASSERT_TRUE(parts);
  EXPECT_FALSE(parts->secure);
  EXPECT_EQ(parts->host, u"jk.example.com");
  EXPECT_EQ(parts->port, 80);
  EXPECT_EQ(parts->object, u"/jk/1.html?a+b/c==#frag");

  parts = SplitUrl(u"HTTPS://127.0.0.1:8443/x");
  ASSERT_TRUE(parts);
  EXPECT_TRUE(parts->secure);
  EXPECT_EQ(parts->host, u"127.0.0.1");
  EXPECT_EQ(parts->port, 8443);
  EXPECT_EQ(parts->object, u"/x");

  parts = SplitUrl(u"https://h");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->port, 443);
  EXPECT_EQ(parts->object, u"/");

  parts = SplitUrl(u"http://h:81?q=1");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->port, 81);
  EXPECT_EQ(parts->object, u"/?q=1");

  parts = SplitUrl(u"http://[::1]:9000/p");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->host, u"::1");
  EXPECT_EQ(parts->port, 9000);
}

TEST(SplitUrl, RefusesWhatCannotBeRequested) {
  for (const char16_t* url :
       {u"", u"ftp://h/x", u"http:/h/x", u"http://", u"http:///x", u"http://h:0/",
        u"http://h:65536/", u"http://h:8o/", u"http://user:pw@h/", u"http://[::1/",
        u"http://[::1]x/", u"file:///etc/passwd", u"h/x"}) {
    EXPECT_FALSE(SplitUrl(url)) << std::string(url, url + std::char_traits<char16_t>::length(url));
  }
  EXPECT_TRUE(SplitUrl(u"http://h:65535/"));
}

TEST(FetchStatus, SuccessRanges) {
  for (long status : {200L, 204L, 206L, 301L, 302L, 304L, 305L})
    EXPECT_TRUE(IsSuccessStatus(status));
  for (long status : {0L, 100L, 199L, 207L, 300L, 306L, 307L, 404L, 500L}) {
    EXPECT_FALSE(IsSuccessStatus(status)) << status;
  }
}

TEST(ContentLength, LeadingDigitsOnly) {
  EXPECT_EQ(ParseContentLength("1234"), 1234u);
  EXPECT_EQ(ParseContentLength(" 42\r\n"), 42u);
  EXPECT_EQ(ParseContentLength("12abc3"), 12u);
  EXPECT_EQ(ParseContentLength("abc"), 0u);
  EXPECT_EQ(ParseContentLength(""), 0u);
  EXPECT_EQ(ParseContentLength("68719476736"), 68719476736u);  // beyond 32 bits
  EXPECT_EQ(ParseContentLength("99999999999999999999999"), UINT64_MAX);
}

TEST(BodyProgress, KnownLengthReadsInPiecesOfAtMost1024) {
  BodyProgress progress(2500);
  EXPECT_EQ(progress.NextReadSize(), 1024u);
  EXPECT_EQ(progress.Accept(1024), 1024u);
  EXPECT_EQ(progress.Accept(1024), 1024u);
  EXPECT_FALSE(progress.Done());
  EXPECT_FALSE(progress.CompleteAtEnd());
  EXPECT_EQ(progress.NextReadSize(), 452u);
  // More than announced arrives: only the announced bytes count.
  EXPECT_EQ(progress.Accept(16384), 452u);
  EXPECT_TRUE(progress.Done());
  EXPECT_TRUE(progress.CompleteAtEnd());
  EXPECT_EQ(progress.NextReadSize(), 0u);
}

TEST(BodyProgress, ZeroAndUnknownLengths) {
  BodyProgress empty(0);
  EXPECT_EQ(empty.NextReadSize(), 0u);
  EXPECT_TRUE(empty.Done());
  EXPECT_TRUE(empty.CompleteAtEnd());

  BodyProgress unknown;
  EXPECT_EQ(unknown.NextReadSize(), kTransferBufferSize);
  EXPECT_EQ(unknown.Accept(16384), 16384u);
  EXPECT_FALSE(unknown.Done());
  EXPECT_TRUE(unknown.CompleteAtEnd());
}

}  // namespace
}  // namespace fernlite
