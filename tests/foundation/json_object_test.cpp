#include "foundation/json_object.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(JsonObjectTest, PrintsCompactlyInInsertionOrderWithItsEscapes) {
  CJsonObject json;
  EXPECT_TRUE(json.Add("z", "quote\" backslash\\ \b\f\n\r\t \x01\x1f end"));
  EXPECT_TRUE(json.Add("a", "caf\xe9 \xe6\x97\xa5"));  // bytes above 0x7F pass unchanged
  EXPECT_TRUE(json.Add("n", int32_t{-42}));
  EXPECT_TRUE(json.Add("big", int64_t{9007199254740993}));  // 2^53 + 1: beyond a double
  EXPECT_TRUE(json.Add("min", INT64_MIN));
  EXPECT_TRUE(json.AddEmptyArray("list"));
  EXPECT_EQ(json.ToString(),
            "{\"z\":\"quote\\\" backslash\\\\ \\b\\f\\n\\r\\t \\u0001\\u001f end\",\"a\":\"caf\xe9 \xe6\x97\xa5\","
            "\"n\":-42,\"big\":9007199254740993,\"min\":-9223372036854775808,\"list\":[]}");
}

TEST(JsonObjectTest, TheFirstValueOfANameStays) {
  CJsonObject json;
  EXPECT_TRUE(json.Add("product_id", "1"));
  EXPECT_FALSE(json.Add("product_id", "2"));
  EXPECT_FALSE(json.Add("product_id", int64_t{3}));
  EXPECT_FALSE(json.AddEmptyArray("product_id"));
  EXPECT_EQ(json.ToString(), "{\"product_id\":\"1\"}");

  // A parsed text with a repeated name reads its first value as well.
  CJsonObject parsed("{\"code\":1,\"code\":0}");
  int32_t code = -1;
  EXPECT_TRUE(parsed.Get("code", &code));
  EXPECT_EQ(code, 1);
}

TEST(JsonObjectTest, MembersAreReadOnlyAsTheirOwnType) {
  CJsonObject json("{\"code\":\"0\",\"n\":7,\"s\":\"text\",\"data\":{\"access_token\":\"t\"},\"a\":[\"x\",1]}");
  ASSERT_TRUE(json.IsObject());
  int32_t code = -1;
  EXPECT_FALSE(json.Get("code", &code));
  EXPECT_EQ(code, -1);  // the caller's default stays
  int64_t n = 0;
  EXPECT_TRUE(json.Get("n", &n));
  EXPECT_EQ(n, 7);
  std::string s;
  EXPECT_FALSE(json.Get("n", &s));
  EXPECT_TRUE(json.Get("s", &s));
  EXPECT_EQ(s, "text");
  CJsonObject data;
  ASSERT_TRUE(json.Get("data", &data));
  std::string token;
  EXPECT_TRUE(data.Get("access_token", &token));
  EXPECT_EQ(token, "t");
  CJsonObject array;
  ASSERT_TRUE(json.Get("a", &array));
  EXPECT_EQ(array.ArraySize(), 2);
  EXPECT_TRUE(array.ArrayString(0, &s));
  EXPECT_EQ(s, "x");
  EXPECT_FALSE(array.ArrayString(1, &s));
  EXPECT_FALSE(json.Get("missing", &s));
}

TEST(JsonObjectTest, TextsThatAreNotOneJsonValueAreInvalid) {
  for (const char* text : {"", "<html>", "{\"code\":0", "{\"code\":0}<html>", "{\"a\":1} {}"}) {
    CJsonObject json(text);
    EXPECT_FALSE(json.IsValid()) << text;
    EXPECT_EQ(json.ToString(), "") << text;
    int32_t code = -1;
    EXPECT_FALSE(json.Get("code", &code)) << text;
  }
  EXPECT_TRUE(CJsonObject("  {\"code\":0}\r\n").IsObject());
  // Nesting without end must not exhaust the stack.
  EXPECT_FALSE(CJsonObject(std::string(100000, '[')).IsValid());
}

TEST(JsonObjectTest, ArraysTakeTextsAndObjects) {
  CJsonObject report;
  ASSERT_TRUE(report.AddEmptyArray("files"));
  CJsonObject file;
  file.Add("id", "f1");
  EXPECT_TRUE(report.AddToArray("files", file));
  EXPECT_TRUE(report.AddToArray("files", "second"));
  EXPECT_FALSE(report.AddToArray("missing", "x"));
  EXPECT_EQ(report.ToString(), "{\"files\":[{\"id\":\"f1\"},\"second\"]}");
}

}  // namespace
