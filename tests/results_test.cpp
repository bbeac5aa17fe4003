#include <gtest/gtest.h>

#include <string>

#include "sdk/sdk.h"

namespace {

TEST(ResultText, TextsAndDecimalForms) {
  const struct {
    int rc;
    const char* text;
  } cases[] = {
      {RC_SUCCESS, "success"},
      {RC_NO_ERROR, "no error (sdk bug, should be 0)"},
      {RC_RESTRICTED_AREA, "restricted area"},
      {RC_OUT_OF_MEMORY, "out of memory"},
      {RC_CONNECTION_LOST, "connection lost"},
      {2, "2"},
      {18, "18"},
      {465, "465"},
      {473, "473"},
      {488, "488"},
      {-1, "-1"},
      {-2147483647 - 1, "-2147483648"},
  };
  for (const auto& c : cases) EXPECT_STREQ(api_result_text(c.rc), c.text) << c.rc;
}

// 98 codes answer with words, every other one with its number; each lookup
// overwrites the text of the one before.
TEST(ResultText, NinetyEightTextsInOneBuffer) {
  int with_text = 0;
  for (int rc = -10; rc <= 1000; ++rc) {
    const std::string text = api_result_text(rc);
    if (text != std::to_string(rc)) {
      ++with_text;
      EXPECT_TRUE(text[0] >= 'a' && text[0] <= 'z') << rc << ": " << text;
    }
  }
  EXPECT_EQ(with_text, 98);
  const char* first = api_result_text(RC_SUCCESS);
  EXPECT_EQ(api_result_text(RC_READ_ONLY), first);
  EXPECT_STREQ(first, "read only");
}

}  // namespace
