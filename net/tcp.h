// TCP client connections, name lookup and the socket layer's start and stop.
// Addresses and ports are IPv4 values in network byte order throughout.
//
// Result codes: those of sdk/sdk.h. A failure of the operating system's socket
// layer travels as RC_SOCKET_ERROR_BASE + errno; an unknown host name gives
// RC_HOST_NOT_FOUND.
#pragma once

#include <cstdint>

namespace orbilo {

struct TcpConnection;

// Starts the socket layer: 0, or RC_UNABLE_TO_INITIALIZE_NETWORK.
int net_startup();
// Stops the socket layer: 0.
int net_cleanup();

// Resolves name (a dotted IPv4 address first, the resolver otherwise, IPv4
// only) into *address: 0, or RC_HOST_NOT_FOUND / the socket layer's code.
int host_lookup(const char* name, std::uint32_t* address);

// Connects to address:port, then makes the socket non-blocking. The connect is
// bounded by the connect deadline (10 s): 0, RC_OUT_OF_MEMORY, RC_NO_SOCKET,
// RC_UNABLE_TO_CONNECT or RC_NONBLOCKING_FAILED.
int tcp_create(std::uint32_t address, std::uint16_t port, TcpConnection** connection);

// Closes and frees the connection: 0, or the socket layer's code (the record is
// freed in both cases). nullptr is ignored.
int tcp_destroy(TcpConnection* connection);

// Sends data[0..length). *sent receives the number of bytes the socket took.
// 0: every byte went out. RC_NOT_YET: the socket took fewer (*sent of them, 0
// or more); offer the rest again later. RC_TIMEOUT: the socket has taken
// nothing for more than 20 s. RC_NULL_POINTER for a null connection; else the
// socket layer's code.
int tcp_send(TcpConnection* connection, const void* data, int length, int* sent);

// Receives at most min(size, 4096) bytes into buffer, *count receiving the
// number: 0 (with *count 0 when nothing is there now), RC_RECEIVE_FAILED when
// the peer closed, else the socket layer's code.
int tcp_receive(TcpConnection* connection, void* buffer, int size, int* count);

// Waits until one of connections[0..count) (entries may be null) is readable,
// at most timeout ms (0 or less: without limit). Returns the first readable
// connection in array order, or nullptr on time-out or error.
TcpConnection* tcp_wait(int count, TcpConnection* const* connections, int timeout);

// Test hook: the connect deadline in ms (10000 by default; 0 or less restores
// it).
void tcp_set_connect_deadline(int ms);

// Test hook: a filter that every connect asks first; a connect it refuses
// fails with RC_UNABLE_TO_CONNECT without touching the network. Tests that
// feed addresses from arbitrary input use it to stay on loopback. nullptr
// removes it.
using TcpConnectFilter = bool (*)(std::uint32_t address, std::uint16_t port);
void tcp_set_connect_filter(TcpConnectFilter filter);

// The servers' entry: wraps a socket that is already connected (one that a
// server accepted) in a connection, making it non-blocking. The connection
// owns the socket from then on and tcp_destroy() closes it; on failure the
// socket stays the caller's. 0, RC_NULL_POINTER, RC_NO_SOCKET (fd < 0),
// RC_OUT_OF_MEMORY or RC_NONBLOCKING_FAILED.
int tcp_attach(int fd, TcpConnection** connection);

// The connection's socket, for a caller that waits on it itself; -1 for
// nullptr.
int tcp_socket(const TcpConnection* connection);

// Whether the connection is in the readiness set (net/readiness.h), whose
// waits then name it by its own address.
bool tcp_in_readiness(const TcpConnection* connection);

// A pointer the layer above keeps on the connection (nullptr at first), to
// find its own record from a readiness wait.
void tcp_set_owner(TcpConnection* connection, void* owner);
void* tcp_owner(const TcpConnection* connection);

}  // namespace orbilo
