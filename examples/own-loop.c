/* own-loop: a bot driven from the program's own poll loop. The program
 * waits on the library's descriptor, for as long as the library's next
 * timed work allows, and then lets the pump do what is ready with
 * api_wait(0). Nothing here ever blocks inside the library: the operations
 * report through their callbacks.
 *
 *   own-loop HOST PORT CITIZEN PASSWORD NAME WORLD
 *
 * It answers "NAME ping" in chat with a whispered "pong", and prints every
 * avatar that moves. */
#include <orbilo/sdk.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static volatile sig_atomic_t stopping = 0;
static const char* world;
static char ping[64];

static void on_signal(int signal_number) {
  (void)signal_number;
  stopping = 1;
}

static void on_login(int rc) {
  if (rc == 0) rc = api_enter(world);
  if (rc != 0) {
    fprintf(stderr, "own-loop: login failed: %s (%d)\n", api_result_text(rc), rc);
    stopping = 1;
  }
}

static void on_enter(int rc) {
  if (rc != 0) {
    fprintf(stderr, "own-loop: entry failed: %s (%d)\n", api_result_text(rc), rc);
    stopping = 1;
    return;
  }
  api_state_change();
  printf("in world %s\n", world);
  fflush(stdout);
}

static void on_avatar_change(void) {
  printf("moves: %s to %d %d\n", api_string(ATTR_AVATAR_NAME), api_int(ATTR_AVATAR_X),
         api_int(ATTR_AVATAR_Z));
  fflush(stdout);
}

static void on_chat(void) {
  if (strcmp(api_string(ATTR_CHAT_MESSAGE), ping) != 0) return;
  if (api_whisper(api_int(ATTR_CHAT_SESSION), "pong") == 0) {
    printf("pong to %s\n", api_string(ATTR_AVATAR_NAME));
    fflush(stdout);
  }
}

int main(int argc, char** argv) {
  int rc;
  if (argc != 7) {
    fprintf(stderr, "usage: own-loop HOST PORT CITIZEN PASSWORD NAME WORLD\n");
    return 2;
  }
  world = argv[6];
  snprintf(ping, sizeof ping, "%s ping", argv[5]);
  rc = api_init(ORBILO_SDK_BUILD);
  if (rc == 0) rc = api_create(argv[1], atoi(argv[2]), NULL);
  if (rc != 0) {
    fprintf(stderr, "own-loop: start failed: %s (%d)\n", api_result_text(rc), rc);
    api_term();
    return 1;
  }
  api_string_set(ATTR_LOGIN_NAME, argv[5]);
  api_int_set(ATTR_LOGIN_OWNER, atoi(argv[3]));
  api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, argv[4]);
  api_callback_set(CALLBACK_LOGIN, on_login);
  api_callback_set(CALLBACK_ENTER, on_enter);
  api_event_set(EVENT_AVATAR_CHANGE, on_avatar_change);
  api_event_set(EVENT_CHAT, on_chat);
  signal(SIGINT, on_signal);
  signal(SIGTERM, on_signal);

  /* With its callback installed, api_login returns at once. */
  rc = api_login();
  if (rc != 0) {
    fprintf(stderr, "own-loop: login failed: %s (%d)\n", api_result_text(rc), rc);
    stopping = 1;
  }
  while (!stopping) {
    struct pollfd ready;
    ready.fd = api_descriptor();
    ready.events = POLLIN;
    ready.revents = 0;
    /* The program could watch its own descriptors in the same poll. */
    poll(&ready, 1, api_next_timeout());
    api_wait(0);
  }
  api_term();
  return 0;
}
