// The result texts: every code that has a text, in ascending order of code,
// and the lookup that turns a code into words for a failure message.
#include <cstdio>

#include "sdk/sdk.h"

namespace orbilo {

namespace {

struct ResultRow {
  int code;
  const char* text;
};

constexpr ResultRow kResultTable[] = {
    {RC_SUCCESS, "success"},
    {RC_CITIZENSHIP_EXPIRED, "citizenship expired"},
    {RC_NO_SUCH_CITIZEN, "no such citizen"},
    {RC_MESSAGE_LENGTH_BAD, "message length bad"},
    {RC_LICENSE_PASSWORD_CONTAINS_SPACE, "license password contains space"},
    {RC_LICENSE_PASSWORD_TOO_LONG, "license password too long"},
    {RC_LICENSE_PASSWORD_TOO_SHORT, "license password too short"},
    {RC_LICENSE_RANGE_TOO_LARGE, "license range too large"},
    {RC_LICENSE_RANGE_TOO_SMALL, "license range too small"},
    {RC_LICENSE_USERS_TOO_LARGE, "license users too large"},
    {RC_LICENSE_USERS_TOO_SMALL, "license users too small"},
    {RC_LICENSE_WORLD_CONTAINS_SPACE, "license world contains space"},
    {RC_INVALID_PASSWORD, "invalid password"},
    {RC_UNABLE_TO_MAIL_BACK_NUMBER, "unable to mail back number"},
    {RC_LICENSE_WORLD_TOO_SHORT, "license world too short"},
    {RC_LICENSE_WORLD_TOO_LONG, "license world too long"},
    {RC_SERVER_OUT_OF_MEMORY, "server out of memory"},
    {RC_WORLD_NOT_RUNNING, "world not running"},
    {RC_NOT_LOGGED_IN, "not logged in"},
    {RC_UNAUTHORIZED, "unauthorized"},
    {RC_ALREADY_LICENSED, "already licensed"},
    {RC_NO_SUCH_LICENSE, "no such license"},
    {RC_IDENTITY_ALREADY_IN_USE, "identity already in use"},
    {RC_UNABLE_TO_REPORT_LOCATION, "unable to report location"},
    {RC_INVALID_EMAIL, "invalid email"},
    {RC_NO_SUCH_ACTING_CITIZEN, "no such acting citizen"},
    {RC_ACTING_PASSWORD_INVALID, "acting password invalid"},
    {RC_MUST_UPGRADE, "must upgrade"},
    {RC_BOT_LIMIT_EXCEEDED, "bot limit exceeded"},
    {RC_EMAIL_CONTAINS_INVALID_CHAR, "email contains invalid char"},
    {RC_EMAIL_ENDS_WITH_BLANK, "email ends with blank"},
    {RC_EMAIL_MISSING_DOT, "email missing dot"},
    {RC_EMAIL_MISSING_AT, "email missing at"},
    {RC_EMAIL_STARTS_WITH_BLANK, "email starts with blank"},
    {RC_EMAIL_TOO_LONG, "email too long"},
    {RC_EMAIL_TOO_SHORT, "email too short"},
    {RC_NAME_ALREADY_USED, "name already used"},
    {RC_NAME_CONTAINS_INVALID_CHAR, "name contains invalid char"},
    {RC_NAME_CONTAINS_INVALID_BLANK, "name contains invalid blank"},
    {RC_NAME_DOESNT_EXIST, "name doesnt exist"},
    {RC_NAME_ENDS_WITH_BLANK, "name ends with blank"},
    {RC_NAME_TOO_LONG, "name too long"},
    {RC_NAME_TOO_SHORT, "name too short"},
    {RC_NAME_UNUSED, "name unused"},
    {RC_PASSWORD_TOO_LONG, "password too long"},
    {RC_PASSWORD_TOO_SHORT, "password too short"},
    {RC_PASSWORD_IS_WRONG, "password is wrong"},
    {RC_NUMBER_ALREADY_USED, "number already used"},
    {RC_NUMBER_OUT_OF_RANGE, "number out of range"},
    {RC_PRIVILEGE_PASSWORD_IS_TOO_SHORT, "privilege password is too short"},
    {RC_NO_ERROR, "no error (sdk bug, should be 0)"},
    {RC_NOT_CHANGE_OWNER, "not change owner"},
    {RC_CANT_FIND_OLD_ELEMENT, "cant find old element"},
    {RC_CANT_CHANGE_OWNER, "cant change owner"},
    {RC_CANT_BUILD_HERE, "cant build here"},
    {RC_ENCROACHES, "encroaches"},
    {RC_NO_SUCH_OBJECT, "no such object"},
    {RC_NOT_DELETE_OWNER, "not delete owner"},
    {RC_TOO_MANY_BYTES, "too many bytes"},
    {RC_UNREGISTERED_OBJECT, "unregistered object"},
    {RC_ELEMENT_ALREADY_EXISTS, "element already exists"},
    {RC_NO_BUILD_RIGHTS, "no build rights"},
    {RC_OUT_OF_BOUNDS, "out of bounds"},
    {RC_RESTRICTED_OBJECT, "restricted object"},
    {RC_RESTRICTED_AREA, "restricted area"},
    {RC_OUT_OF_MEMORY, "out of memory"},
    {RC_NOT_YET, "not yet"},
    {RC_TIMEOUT, "timeout"},
    {RC_NULL_POINTER, "null pointer"},
    {RC_UNABLE_TO_CONTACT_UNIVERSE, "unable to contact universe"},
    {RC_UNABLE_TO_CONTACT_WORLD, "unable to contact world"},
    {RC_INVALID_WORLD_NAME, "invalid world name"},
    {RC_SEND_FAILED, "send failed"},
    {RC_RECEIVE_FAILED, "receive failed"},
    {RC_STREAM_EMPTY, "stream empty"},
    {RC_STREAM_MESSAGE_TOO_LONG, "stream message too long"},
    {RC_WORLD_NAME_TOO_LONG, "world name too long"},
    {RC_MESSAGE_TOO_LONG, "message too long"},
    {RC_UNABLE_TO_CONNECT, "unable to connect"},
    {RC_NO_CONNECTION, "no connection"},
    {RC_UNABLE_TO_INITIALIZE_NETWORK, "unable to initialize network"},
    {RC_INCORRECT_MESSAGE_LENGTH, "incorrect message length"},
    {RC_NOT_INITIALIZED, "not initialized"},
    {RC_NO_INSTANCE, "no instance"},
    {RC_OUT_BUFFER_FULL, "out buffer full"},
    {RC_INVALID_CALLBACK, "invalid callback"},
    {RC_INVALID_ATTRIBUTE, "invalid attribute"},
    {RC_TYPE_MISMATCH, "type mismatch"},
    {RC_STRING_TOO_LONG, "string too long"},
    {RC_READ_ONLY, "read only"},
    {RC_INVALID_INSTANCE, "invalid instance"},
    {RC_VERSION_MISMATCH, "version mismatch"},
    {RC_IN_BUFFER_FULL, "in buffer full"},
    {RC_PROTOCOL_ERROR, "protocol error"},
    {RC_QUERY_IN_PROGRESS, "query in progress"},
    {RC_EJECTED, "ejected"},
    {RC_NOT_WELCOME, "not welcome"},
    {RC_CONNECTION_LOST, "connection lost"},
};

// The text of the latest lookup; the longest is "no error (sdk bug, should be
// 0)", and a decimal int needs at most 11 characters.
thread_local char result_text[48];  // each thread reads its own

}  // namespace

extern "C" ORBILO_SDK_API const char* api_result_text(int rc) {
  for (const ResultRow& row : kResultTable) {
    if (row.code == rc) {
      std::snprintf(result_text, sizeof result_text, "%s", row.text);
      return result_text;
    }
  }
  std::snprintf(result_text, sizeof result_text, "%d", rc);
  return result_text;
}

}  // namespace orbilo
