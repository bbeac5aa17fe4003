// Numbers read from text do not follow the program's locale: a program (the
// window adopts the user's locale) that reads with a decimal comma still gets
// the world's "2.5" as two and a half, and the world defaults as written.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "sdk/sdk.h"
#include "support/session.h"

using namespace orbilo;

namespace {

using scripted::Body;
using scripted::Bytes;

// Runs the test body under a decimal-comma locale and puts the C locale back.
class DecimalCommaLocale : public session::SessionTest {
 protected:
  void SetUp() override {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
      GTEST_SKIP() << "de_DE.UTF-8 is not generated (make test generates it)";
    }
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
    SessionTest::SetUp();
  }
  void TearDown() override {
    SessionTest::TearDown();
    std::setlocale(LC_ALL, "C");
  }
};

Bytes setting(int key, const std::string& text) {
  return Body().byte(key).data(Bytes(text.begin(), text.end())).bytes_;
}

TEST_F(DecimalCommaLocale, WorldEntryReadsFloatSettingsAndDefaultsAsWritten) {
  create();
  login();
  enter();
  // Keys 41 and 43 are the float attributes 76 and 78; key 42 keeps its
  // default.
  Bytes body = setting(41, "2.5");
  Bytes more = setting(43, "1e-1");
  body.insert(body.end(), more.begin(), more.end());
  ASSERT_TRUE(world_link_.send_world(1, body));
  ASSERT_TRUE(pump_until([] { return api_float(ATTR_WORLD_SETTING_41) > 2; }));
  EXPECT_FLOAT_EQ(api_float(ATTR_WORLD_SETTING_41), 2.5f);
  EXPECT_FLOAT_EQ(api_float(ATTR_WORLD_SETTING_42), -0.5f);
  EXPECT_FLOAT_EQ(api_float(ATTR_WORLD_SETTING_43), 0.1f);
}

TEST_F(DecimalCommaLocale, FirstEntryHasTheDefaultFloatSettings) {
  create();
  login();
  enter();
  const struct {
    int attribute;
    float value;
  } defaults[] = {{ATTR_WORLD_SETTING_41, -0.8f},
                  {ATTR_WORLD_SETTING_42, -0.5f},
                  {ATTR_WORLD_SETTING_43, -0.2f}};
  for (const auto& expected : defaults) {
    EXPECT_FLOAT_EQ(api_float(expected.attribute), expected.value)
        << "attribute " << expected.attribute;
  }
}

}  // namespace
