// The field exchange of the login page: controls to fields, with the checks
// and their messages in the exchange order, and fields to controls.
#pragma once

#include <string>

#include "settings.h"
#include "view.h"

// The entry limits of the text controls.
inline constexpr std::size_t kNameLimit = 16;
inline constexpr std::size_t kPasswordLimit = 20;
inline constexpr std::size_t kWorldLimit = 8;

// Reads texts into fields in the order Name, Avatar, Citizen, CenterCoords,
// Password, World, DisableBotKicking, ReturnHome. A check that fails ends the
// read there, so the fields after it keep their values: false with the
// platform's message in *message ("Please enter an integer." or "Please
// enter no more than N characters.").
bool login_fields_read(const ControlTexts& texts, LoginFields* fields, std::string* message);

// The controls' texts for fields.
ControlTexts login_fields_texts(const LoginFields& fields);
