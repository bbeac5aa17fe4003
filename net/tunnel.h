// The connection layer: channels, each carried by one TCP connection, kept in
// one library-wide list (newest first) so that one wait watches them all.
#pragma once

#include <cstdint>

namespace orbilo {

struct TunnelChannel;

// Opens a channel to address:port (network order): 0 with *channel stored,
// RC_OUT_OF_MEMORY, or the result of tcp_create.
int tunnel_connect(std::uint32_t address, std::uint16_t port, TunnelChannel** channel);

// Closes and frees a channel; one that is not in the list is left alone.
void tunnel_destroy(TunnelChannel* channel);

// tcp_send on the channel's connection.
int tunnel_send(TunnelChannel* channel, const void* data, int length, int* sent);

// tcp_receive on the channel's connection.
int tunnel_receive(TunnelChannel* channel, void* buffer, int size, int* count);

// A channel whose connection is readable or becomes readable within timeout
// ms (0 or less: without limit); nullptr when none does (a connection that
// only became writable ends the wait too, with nullptr) or no channel is
// open. Without the readiness set every listed socket is polled, and the
// first readable channel in list order is the one given.
TunnelChannel* tunnel_wait(int timeout);

// A pointer of the layer above on a channel (nullptr at first), which a
// sweep hands back for each channel that has something to do.
void tunnel_set_user(TunnelChannel* channel, void* user);
void* tunnel_user(const TunnelChannel* channel);

// Asks every listed channel at once, without waiting, whether it has input.
// A channel that has none is marked quiet: its receives then answer "nothing
// yet" without asking its socket, until tunnel_sweep_end() or until a wait
// reports it readable. This spares one system call per idle link when one
// pass reads many links. visit (when given) is called with the user pointer
// of each channel that has input or can now take bytes it was left with;
// where the readiness set is not in use, with that of every channel. Returns
// the number of channels with input, or -1 when the sweep could not be made
// (nothing is marked then, and every channel is visited).
using TunnelVisit = void (*)(void* user);
int tunnel_sweep(TunnelVisit visit = nullptr);
// Clears every quiet mark.
void tunnel_sweep_end();

// The number of open channels in the list.
int tunnel_count();

// The servers' entry: a channel over a socket that is already connected (see
// tcp_attach). It is in no list, so tunnel_wait() never reports it and
// tunnel_destroy() leaves it alone; close it with tunnel_destroy_attached().
// 0, or the result of tcp_attach (the socket stays the caller's on failure).
int tunnel_attach(int fd, TunnelChannel** channel);

// Closes and frees a channel made by tunnel_attach (a listed channel given
// here is unlinked first). nullptr is ignored.
void tunnel_destroy_attached(TunnelChannel* channel);

// The channel's socket, for a caller that waits on it itself; -1 for nullptr.
int tunnel_socket(const TunnelChannel* channel);

}  // namespace orbilo
