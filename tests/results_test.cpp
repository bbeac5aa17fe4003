#include <gtest/gtest.h>

#include <string>

#include "sdk/sdk.h"

namespace {

TEST(ResultText, CodesWithRowsGiveTheirTexts) {
  const struct {
    int rc;
    const char* text;
  } cases[] = {
      {RC_SUCCESS, "success"},
      {RC_CITIZENSHIP_EXPIRED, "citizenship expired"},
      {RC_NO_ERROR, "no error (sdk bug, should be 0)"},
      {RC_RESTRICTED_AREA, "restricted area"},
      {RC_OUT_OF_MEMORY, "out of memory"},
      {RC_INVALID_WORLD_NAME, "invalid world name"},
      {RC_NOT_INITIALIZED, "not initialized"},
      {RC_NOT_WELCOME, "not welcome"},
      {RC_CONNECTION_LOST, "connection lost"},
  };
  for (const auto& c : cases) EXPECT_STREQ(api_result_text(c.rc), c.text) << c.rc;
}

TEST(ResultText, CodesWithoutRowsGiveTheirDecimalForm) {
  for (int rc : {2, 18, 92, 465, 473, 488, 489, -1, 2147483647, -2147483647 - 1}) {
    EXPECT_EQ(api_result_text(rc), std::to_string(rc));
  }
}

// Every row of the table answers with words, never digits, and there are 98.
TEST(ResultText, NinetyEightCodesHaveTexts) {
  int with_text = 0;
  for (int rc = -10; rc <= 1000; ++rc) {
    const std::string text = api_result_text(rc);
    if (text != std::to_string(rc)) {
      ++with_text;
      EXPECT_FALSE(text.empty()) << rc;
      EXPECT_TRUE(text[0] >= 'a' && text[0] <= 'z') << rc << ": " << text;
    }
  }
  EXPECT_EQ(with_text, 98);
}

TEST(ResultText, EachLookupOverwritesTheLast) {
  const char* first = api_result_text(RC_SUCCESS);
  const char* second = api_result_text(RC_READ_ONLY);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "read only");
}

}  // namespace
