// The readiness set: one descriptor that a program can poll for all of the
// library's connections at once. Every connection that tcp_create() makes is
// in it, for reading, and for writing while it holds bytes the socket would
// not take; the set's own descriptor is then readable whenever one of them
// is ready. Connections that a server attached are never in it.
#pragma once

namespace orbilo {

// Opens the set (once; later calls keep it): its descriptor, or -1 when the
// system refused one.
int readiness_open();
// Closes the set; its descriptor is -1 from then on.
void readiness_close();
// The set's descriptor, or -1 when it is not open.
int readiness_descriptor();

// Adds a socket for reading; nothing when the set is not open.
void readiness_add(int socket);
// Adds or drops the socket's interest in writing.
void readiness_want_write(int socket, bool want);
// Takes a socket out of the set before it is closed.
void readiness_remove(int socket);

}  // namespace orbilo
