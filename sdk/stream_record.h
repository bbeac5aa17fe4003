// The message stream's record and the steps that the stream's two halves
// share: sdk/stream.cpp (the link: creation, flushes, fills, message framing
// on receipt, ciphers) and sdk/stream_fields.cpp (the field encoders and
// decoders). Nothing outside those two files includes this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "sdk/stream.h"

namespace orbilo {

struct Rc4State;
struct TunnelChannel;

// One record per link; both buffers start in the same allocation, and a
// buffer that a large message outgrows moves to one of its own until it is
// empty again. It starts with the codec state that the inline field steps of
// sdk/stream.h reach through a Stream*: status, send count, read and write
// positions, and the buffers.
struct Stream {
  stream_fields::StreamCodec codec;
  Stream* next;
  TunnelChannel* connection;     // owned; nullptr for an unconnected stream
  void* user;                    // the owner's (stream_set_user)
  std::uint32_t address;         // network order
  std::uint32_t port;            // network order
  std::uint16_t pending_length;  // length of a message whose body is incomplete
  int message_end;               // receive_buffer index after the current message
  std::uint32_t last_send_time;  // creation or last complete flush
  Rc4State* receive_cipher;
  Rc4State* send_cipher;
  std::uint8_t first_message;  // set by FIELD_CIPHER: length and id go out plain
  bool body_deciphered;        // the current message's body went through a cipher
  bool held;                   // FIELD_END leaves the flush to the owner (stream_set_held)
  std::uint8_t receive_storage[kStreamReceiveStart];  // codec.receive_buffer while small
  std::uint8_t send_storage[kStreamSendStart];        // codec.send_buffer while small
};

// The inline steps address the codec state through the record's address.
static_assert(std::is_standard_layout_v<Stream>);
static_assert(offsetof(Stream, codec) == 0);

inline constexpr int STREAM_LENGTH_FIELD = 2;

inline void stream_fail(Stream* stream, int rc) {
  if (stream->codec.status == 0) stream->codec.status = rc;
}

// Bytes that may be read now: the rest of the current message, or the
// received bytes while a length field is read.
inline int stream_available(const Stream* stream) {
  return stream->codec.read_limit - stream->codec.read_position;
}

// Received bytes not yet read, of this message and of any after it.
inline int stream_received(const Stream* stream) {
  return stream->codec.write_position - stream->codec.read_position;
}

// Bytes of the current message not yet read.
inline int stream_remaining(const Stream* stream) {
  return stream->message_end - stream->codec.read_position;
}

// Starts the receive buffer over; only done when it holds nothing unread.
void stream_rewind(Stream* stream);

// Makes the send buffer hold at least needed bytes (needed is at most
// kStreamBufferSize): true, or false with the status set to RC_OUT_OF_MEMORY
// when the larger buffer cannot be had.
bool stream_reserve_send(Stream* stream, int needed);

// Reads count bytes of the current message into out, or passes over them
// when out is nullptr. The same as reading byte by byte: once the status is
// set every further byte yields 0; running out of received bytes sets
// RC_STREAM_EMPTY, reaching the buffer's end RC_PROTOCOL_ERROR.
void stream_read(Stream* stream, std::uint8_t* out, int count);

// The next count bytes of the current message: in place when they are all
// there, else read into scratch as stream_read does (what is there, then
// zeros, with the status set).
inline const std::uint8_t* stream_take(Stream* stream, int count, std::uint8_t* scratch) {
  if (stream->codec.status == 0 && count <= stream_available(stream)) {
    // The write position never passes the buffer's end, so neither does this.
    const std::uint8_t* at = stream->codec.receive_buffer + stream->codec.read_position;
    stream->codec.read_position += count;
    return at;
  }
  stream_read(stream, scratch, count);
  return scratch;
}

// A fresh cipher state keyed with key and skipped by discard, or nullptr
// with the status set.
Rc4State* stream_new_cipher(Stream* stream, const std::uint8_t* key, int key_length, int discard);

// Takes the open message's bytes, its reserved length field included, back
// out of the send buffer, so that a message whose building failed never
// reaches the connection. Finished messages before it stay.
void stream_drop_open_message(Stream* stream);

}  // namespace orbilo
