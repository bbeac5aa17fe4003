// The field exchange: the checks in the exchange order, their messages, and
// the fields after a failed check keeping their values.
#include "app/login_fields.h"

#include <gtest/gtest.h>

namespace {

LoginFields loaded() {
  LoginFields fields;
  fields.Name = "Old name";
  fields.Avatar = 3;
  fields.Citizen = 7;
  fields.World = "old";
  fields.CenterCoords = "1n";
  return fields;
}

TEST(LoginFields, AFailedCheckEndsTheReadAtItsField) {
  LoginFields typed = loaded();
  typed.Name = "New name";
  typed.Citizen = 9;
  typed.World = "new";
  ControlTexts texts = login_fields_texts(typed);
  texts.avatar.clear();
  LoginFields fields = loaded();
  std::string message;
  EXPECT_FALSE(login_fields_read(texts, &fields, &message));
  EXPECT_EQ(message, "Please enter an integer.");
  EXPECT_EQ(fields.Name, "New name");  // before the failed field
  EXPECT_EQ(fields.Avatar, 3);
  EXPECT_EQ(fields.Citizen, 7);  // after it: as they were
  EXPECT_EQ(fields.World, "old");

  texts = login_fields_texts(loaded());
  texts.name.assign(19, 'n');  // as a longer name loads from the file
  EXPECT_FALSE(login_fields_read(texts, &fields, &message));
  EXPECT_EQ(message, "Please enter no more than 16 characters.");
  texts.name = "Ball";
  texts.password.assign(21, 'p');
  EXPECT_FALSE(login_fields_read(texts, &fields, &message));
  EXPECT_EQ(message, "Please enter no more than 20 characters.");
}

TEST(LoginFields, IntegersAndBoxesRoundTrip) {
  ControlTexts texts = login_fields_texts(loaded());
  texts.citizen = " 42 ";
  texts.avatar = "x1";
  LoginFields fields;
  std::string message;
  EXPECT_FALSE(login_fields_read(texts, &fields, &message));  // avatar is no integer
  texts.avatar = "-2";
  texts.return_home = true;
  ASSERT_TRUE(login_fields_read(texts, &fields, &message));
  EXPECT_EQ(fields.Citizen, 42);
  EXPECT_EQ(fields.Avatar, -2);
  EXPECT_EQ(fields.ReturnHome, 1);
  texts.citizen = "99999999999";  // beyond an integer
  EXPECT_FALSE(login_fields_read(texts, &fields, &message));
}

}  // namespace
