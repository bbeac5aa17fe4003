#include <gtest/gtest.h>

#include "sdk/sdk.h"

namespace {

// Before the library is initialised every setter answers 444, ahead of the
// number and read-only checks, and every getter reads nothing.
TEST(AttributeApi, WithoutTheLibrarySettersRefuseAndGettersReadNothing) {
  for (int attribute : {ATTR_LOGIN_NAME, ATTR_MY_X, ATTR_AVATAR_X, ATTR_WORLD_SETTING_41,
                        ATTR_WORLD_DATA, -1, ATTR_COUNT}) {
    SCOPED_TRACE(attribute);
    EXPECT_EQ(api_int_set(attribute, 1), RC_NOT_INITIALIZED);
    EXPECT_EQ(api_bool_set(attribute, 1), RC_NOT_INITIALIZED);
    EXPECT_EQ(api_float_set(attribute, 1.0f), RC_NOT_INITIALIZED);
    EXPECT_EQ(api_string_set(attribute, "text"), RC_NOT_INITIALIZED);
    EXPECT_EQ(api_int(attribute), 0);
    EXPECT_EQ(api_float(attribute), 0.0f);
    EXPECT_EQ(api_string(attribute), nullptr);
    int length = -1;
    EXPECT_EQ(api_data(attribute, &length), nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(api_data(attribute, nullptr), nullptr);
  }
}

}  // namespace
