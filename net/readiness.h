// The readiness set: one descriptor that a program can poll for all of the
// library's connections at once. Every connection that tcp_create() makes is
// in it, for reading, and for writing while it holds bytes the socket would
// not take; the set's own descriptor is then readable whenever one of them
// is ready. Connections that a server attached are never in it. The library
// waits on the set itself too, so that a pass over thousands of idle links
// learns in one call which few have input.
#pragma once

namespace orbilo {

// Opens the set (once; later calls keep it): its descriptor, or -1 when the
// system refused one.
int readiness_open();
// Closes the set; its descriptor is -1 from then on.
void readiness_close();
// The set's descriptor, or -1 when it is not open.
int readiness_descriptor();

// Adds a socket for reading, with the tag that readiness_wait() gives back
// for it: true when it is in the set.
bool readiness_add(int socket, void* tag);
// Adds or drops the socket's interest in writing (its tag stays).
void readiness_want_write(int socket, void* tag, bool want);
// Takes a socket out of the set before it is closed.
void readiness_remove(int socket);

// Keeps the set's descriptor readable (true) or lets it follow the sockets
// alone again (false): for work that the library has in hand, such as
// messages already received, which no socket shows. A wait on the set then
// finds one ready entry with no tag.
void readiness_signal(bool work_waiting);

// Waits at most timeout_ms (0: not at all, below 0: without limit) until
// sockets of the set are ready: the number of ready sockets it found (each
// seen with readiness_tag() and readiness_readable()), 0 on time-out, -1
// when the set is not open or the wait failed.
int readiness_wait(int timeout_ms);
// The tag of the kth ready socket of the last wait (nullptr for the signal of
// readiness_signal), and whether it can be read (a closed or failed socket
// can: its receive tells what happened).
void* readiness_tag(int k);
bool readiness_readable(int k);

}  // namespace orbilo
