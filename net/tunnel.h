// The connection layer: channels, each carried by one TCP connection, kept in
// one library-wide list (newest first) so that one wait watches them all.
#pragma once

#include <cstdint>

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

// The first channel, in list order, whose connection becomes readable within
// timeout ms (0 or less: without limit); nullptr when none does or no channel
// is open.
TunnelChannel* tunnel_wait(int timeout);

// The number of open channels.
int tunnel_count();
