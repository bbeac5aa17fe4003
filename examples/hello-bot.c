/* hello-bot: the smallest useful bot. It logs in, enters a world and prints
 * every avatar that arrives, moves, leaves or speaks, until interrupted.
 *
 *   hello-bot HOST PORT CITIZEN PASSWORD NAME WORLD
 *
 * It uses the blocking form of the operations (no callbacks installed), so
 * api_login and api_enter return only when the universe and the world have
 * answered. Events still arrive through their handlers, from inside
 * api_wait. */
#include <orbilo/sdk.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

static volatile sig_atomic_t stopping = 0;

static void on_signal(int signal_number) {
  (void)signal_number;
  stopping = 1;
}

/* Each handler reads what the library wrote into the attributes for it. */
static void on_avatar_add(void) {
  printf("arrives: %s (session %d) at %d %d %d\n", api_string(ATTR_AVATAR_NAME),
         api_int(ATTR_AVATAR_SESSION), api_int(ATTR_AVATAR_X), api_int(ATTR_AVATAR_Y),
         api_int(ATTR_AVATAR_Z));
}

static void on_avatar_change(void) {
  printf("moves:   %s to %d %d %d\n", api_string(ATTR_AVATAR_NAME), api_int(ATTR_AVATAR_X),
         api_int(ATTR_AVATAR_Y), api_int(ATTR_AVATAR_Z));
}

static void on_avatar_delete(void) {
  printf("leaves:  %s\n", api_string(ATTR_AVATAR_NAME));
}

static void on_chat(void) {
  printf("says:    %s: %s\n", api_string(ATTR_AVATAR_NAME), api_string(ATTR_CHAT_MESSAGE));
}

/* Prints what failed and why; returns the code for the exit status. */
static int report(const char* what, int rc) {
  fprintf(stderr, "hello-bot: %s failed: %s (%d)\n", what, api_result_text(rc), rc);
  return rc;
}

int main(int argc, char** argv) {
  int rc;
  if (argc != 7) {
    fprintf(stderr, "usage: hello-bot HOST PORT CITIZEN PASSWORD NAME WORLD\n");
    return 2;
  }
  rc = api_init(ORBILO_SDK_BUILD);
  if (rc != 0) return report("api_init", rc);

  /* The new instance becomes the current one: every later call acts on it. */
  rc = api_create(argv[1], atoi(argv[2]), NULL);
  if (rc != 0) {
    api_term();
    return report("api_create", rc);
  }
  api_string_set(ATTR_LOGIN_NAME, argv[5]);
  api_int_set(ATTR_LOGIN_OWNER, atoi(argv[3]));
  api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, argv[4]);

  api_event_set(EVENT_AVATAR_ADD, on_avatar_add);
  api_event_set(EVENT_AVATAR_CHANGE, on_avatar_change);
  api_event_set(EVENT_AVATAR_DELETE, on_avatar_delete);
  api_event_set(EVENT_CHAT, on_chat);

  rc = api_login();
  if (rc == 0) {
    rc = api_enter(argv[6]);
    if (rc != 0) report("api_enter", rc);
  } else {
    report("api_login", rc);
  }
  if (rc == 0) {
    printf("in world %s as %s; Ctrl-C ends\n", argv[6], argv[5]);
    fflush(stdout);
    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);
    /* All network work and every handler runs inside api_wait. */
    while (!stopping) {
      api_wait(1000);
      fflush(stdout);
    }
  }
  api_destroy();
  api_term();
  return rc == 0 ? 0 : 1;
}
