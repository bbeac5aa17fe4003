/* greeter: ten bots in one process. Each stands at its own place in the
 * world and whispers a greeting to every avatar that arrives near it. Every
 * handler is shared by the ten; each bot finds its own state through the
 * pointer it attached to its instance (api_user_data).
 *
 *   greeter HOST PORT CITIZEN PASSWORD WORLD [COUNT]
 *
 * It logs the bots in and enters them in the blocking form, one after the
 * other, then runs the pump until interrupted. */
#include <orbilo/sdk.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#define MAX_GREETERS 64
/* An avatar within this many units east-west and north-south is near. */
#define NEAR 3000

struct greeter {
  void* instance;
  char name[24];
  int x, z;
  int greeted;
};

static struct greeter greeters[MAX_GREETERS];
static volatile sig_atomic_t stopping = 0;

static void on_signal(int signal_number) {
  (void)signal_number;
  stopping = 1;
}

/* The library has made the reporting instance current and written the
 * avatar's attributes: the greeter is whatever that instance carries. */
static void on_avatar_add(void) {
  struct greeter* self = (struct greeter*)api_user_data();
  char text[128];
  if (self == NULL) return;
  if (abs(api_int(ATTR_AVATAR_X) - self->x) > NEAR || abs(api_int(ATTR_AVATAR_Z) - self->z) > NEAR)
    return;
  snprintf(text, sizeof text, "Hello %s, I am %s.", api_string(ATTR_AVATAR_NAME), self->name);
  if (api_whisper(api_int(ATTR_AVATAR_SESSION), text) == 0) {
    self->greeted++;
    printf("%s greets %s\n", self->name, api_string(ATTR_AVATAR_NAME));
    fflush(stdout);
  }
}

/* Creates, logs in and places one greeter; 0 or the failing call's code. */
static int start(struct greeter* self, int index, char** argv) {
  int rc;
  snprintf(self->name, sizeof self->name, "Greeter%d", index + 1);
  self->x = (index % 5) * 1000 - 2000;
  self->z = (index / 5) * 1000 - 500;
  rc = api_create(argv[1], atoi(argv[2]), &self->instance);
  if (rc != 0) return rc;
  api_user_data_set(self);
  api_string_set(ATTR_LOGIN_NAME, self->name);
  api_int_set(ATTR_LOGIN_OWNER, atoi(argv[3]));
  api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, argv[4]);
  /* A blocking call runs the pump, whose handlers leave their own instance
   * current: make this one current again after each. */
  rc = api_login();
  if (rc == 0) rc = api_instance_set(self->instance);
  if (rc == 0) rc = api_enter(argv[5]);
  if (rc == 0) rc = api_instance_set(self->instance);
  if (rc != 0) return rc;
  api_int_set(ATTR_MY_X, self->x);
  api_int_set(ATTR_MY_Z, self->z);
  return api_state_change();
}

int main(int argc, char** argv) {
  int count = argc == 7 ? atoi(argv[6]) : 10;
  int rc, k, started = 0;
  if ((argc != 6 && argc != 7) || count < 1 || count > MAX_GREETERS) {
    fprintf(stderr, "usage: greeter HOST PORT CITIZEN PASSWORD WORLD [COUNT (1-%d)]\n",
            MAX_GREETERS);
    return 2;
  }
  rc = api_init(ORBILO_SDK_BUILD);
  if (rc != 0) {
    fprintf(stderr, "greeter: api_init failed: %s\n", api_result_text(rc));
    return 1;
  }
  /* Handlers belong to the library, not to an instance: one serves all ten. */
  api_event_set(EVENT_AVATAR_ADD, on_avatar_add);
  for (k = 0; k < count; k++) {
    rc = start(&greeters[k], k, argv);
    if (rc != 0) {
      fprintf(stderr, "greeter: %s could not start: %s (%d)\n", greeters[k].name,
              api_result_text(rc), rc);
      break;
    }
    started++;
  }
  if (started == count) {
    printf("%d greeters in %s; Ctrl-C ends\n", count, argv[5]);
    fflush(stdout);
    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);
    while (!stopping) api_wait(1000);
  }
  for (k = 0; k < started; k++) {
    printf("%s greeted %d\n", greeters[k].name, greeters[k].greeted);
  }
  api_term(); /* destroys every instance */
  return started == count ? 0 : 1;
}
