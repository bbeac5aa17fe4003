/* Compiled as strict C99: the public header must stay plain C. */
#include "sdk/sdk.h"

int orbilo_c_header_check(void);

int orbilo_c_header_check(void) {
  EventHandler event = 0;
  CallbackHandler callback = 0;
  (void)event;
  (void)callback;
  return ATTR_COUNT + EVENT_COUNT + CALLBACK_COUNT + RC_NOT_INITIALIZED;
}
