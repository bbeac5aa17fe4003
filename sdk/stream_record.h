// The message stream's record and the steps that the stream's two halves
// share: sdk/stream.cpp (the link: creation, flushes, fills, message framing
// on receipt, ciphers) and sdk/stream_fields.cpp (the field encoders and
// decoders). Nothing outside those two files includes this.
#pragma once

#include <cstdint>

#include "sdk/stream.h"

struct Rc4State;
struct TunnelChannel;

// One record per link; both buffers live in the same allocation.
struct Stream {
  Stream* next;
  TunnelChannel* connection;  // owned; nullptr for an unconnected stream
  int status;                 // 0, or the code of the first failure (sticky)
  std::uint32_t address;      // network order
  std::uint32_t port;         // network order
  // The received bytes not yet read are those from the read position to the
  // write position, and the unread bytes of the current message those from
  // the read position to its end: a field read moves one index only.
  int read_position;             // next byte to read in receive_buffer
  int write_position;            // where the next received bytes go
  std::uint16_t pending_length;  // length of a message whose body is incomplete
  int send_count;                // bytes in send_buffer, finished or being built
  int message_start;             // index of the length field of the open message
  int message_end;               // receive_buffer index after the current message
  std::uint32_t last_send_time;  // creation or last complete flush
  Rc4State* receive_cipher;
  Rc4State* send_cipher;
  std::uint8_t first_message;  // set by FIELD_CIPHER: length and id go out plain
  bool message_open;           // FIELD_BEGIN given, FIELD_END not yet
  bool body_deciphered;        // the current message's body went through a cipher
  std::uint8_t receive_buffer[kStreamBufferSize];
  std::uint8_t send_buffer[kStreamBufferSize];
};

inline constexpr int STREAM_LENGTH_FIELD = 2;

inline void stream_fail(Stream* stream, int rc) {
  if (stream->status == 0) stream->status = rc;
}

// Received bytes not yet read.
inline int stream_available(const Stream* stream) {
  return stream->write_position - stream->read_position;
}

// Bytes of the current message not yet read.
inline int stream_remaining(const Stream* stream) {
  return stream->message_end - stream->read_position;
}

// Starts the receive buffer over; only done when it holds nothing unread.
inline void stream_rewind(Stream* stream) {
  stream->read_position = stream->write_position = stream->message_end = 0;
}

inline std::uint16_t stream_word_at(const std::uint8_t* at) {
  return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

// Reads count bytes of the current message into out, or passes over them
// when out is nullptr. The same as reading byte by byte: once the status is
// set every further byte yields 0; running out of received bytes sets
// RC_STREAM_EMPTY, reaching the buffer's end RC_PROTOCOL_ERROR.
void stream_read(Stream* stream, std::uint8_t* out, int count);

// The next count bytes of the current message: in place when they are all
// there, else read into scratch as stream_read does (what is there, then
// zeros, with the status set).
inline const std::uint8_t* stream_take(Stream* stream, int count, std::uint8_t* scratch) {
  if (stream->status == 0 && count <= stream_available(stream)) {
    // The write position never passes the buffer's end, so neither does this.
    const std::uint8_t* at = stream->receive_buffer + stream->read_position;
    stream->read_position += count;
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
