// The message stream's link: the record and its list, the buffers, flushes
// and fills, the framing of received messages, and the ciphers. A message is
// a 2-byte big-endian length L and L bytes. Sent messages are built in place
// in the send buffer (sdk/stream_fields.cpp writes their fields) and handed
// to the channel in one call per flush; received bytes are copied once, from
// the channel into the receive buffer. A fill takes what the channel has, as
// far as the buffer has room, so that one receive brings many small
// messages; the bytes beyond the current message wait there, still
// enciphered, for the calls that make them current, one message at a time.
// The length field is deciphered as it is read, and the body in place,
// whole, when the message becomes current, so that the fields read plain
// bytes.
#include "sdk/stream.h"

#include <cstddef>
#include <cstring>

#include "net/clock.h"
#include "net/memory.h"
#include "net/rc4.h"
#include "net/tunnel.h"
#include "sdk/stream_record.h"

namespace orbilo {

using stream_fields::StreamCodec;

namespace {

constexpr int STREAM_MAX_MESSAGE_LENGTH = 32768;

// A buffer size for needed bytes: twice the current one or more, a power of
// two, at most the limit.
int stream_grown_size(int current, int needed) {
  int size = current * 2;
  while (size < needed) size *= 2;
  return size < kStreamBufferSize ? size : kStreamBufferSize;
}

// Moves the first used bytes of a buffer into a larger one of its own (the
// record's storage is left, a buffer of its own is freed): false when it
// cannot be had.
bool stream_grow(std::uint8_t** buffer, int* capacity, const std::uint8_t* storage, int used,
                 int needed) {
  int size = stream_grown_size(*capacity, needed);
  auto* grown = static_cast<std::uint8_t*>(mem_alloc(static_cast<std::size_t>(size)));
  if (grown == nullptr) return false;
  if (used > 0) std::memcpy(grown, *buffer, static_cast<std::size_t>(used));
  if (*buffer != storage) mem_free(*buffer);
  *buffer = grown;
  *capacity = size;
  return true;
}

// Gives a buffer of its own back, for the record's storage (an empty buffer).
void stream_shrink(std::uint8_t** buffer, int* capacity, std::uint8_t* storage, int start) {
  if (*buffer == storage) return;
  mem_free(*buffer);
  *buffer = storage;
  *capacity = start;
}

Stream* stream_list = nullptr;

// Deciphers count received bytes at the read position in place.
void stream_decipher(Stream* stream, int count) {
  if (stream->receive_cipher == nullptr || count <= 0) return;
  rc4_crypt(stream->receive_cipher, stream->codec.receive_buffer + stream->codec.read_position,
            static_cast<std::size_t>(count));
}

// A receive cipher keyed in the middle of a message deciphers the message's
// unread rest, just as if each byte were deciphered as it is read (a server
// keys its receive cipher after the id of a client's first message). A body
// that an earlier cipher already deciphered stays as it is: keys replaced in
// its middle take effect with the next message.
void stream_decipher_unread_rest(Stream* stream) {
  int rest = stream_remaining(stream);
  if (stream->body_deciphered || rest <= 0) return;
  if (rest > stream_available(stream)) rest = stream_available(stream);
  stream_decipher(stream, rest);
  stream->body_deciphered = stream->receive_cipher != nullptr;
}

// The bytes of finished messages at the send buffer's start.
int stream_ready_bytes(const Stream* stream) {
  return stream->codec.message_open ? stream->codec.message_start : stream->codec.send_count;
}

// Drops the first count bytes of the send buffer, moving the rest to its
// start.
void stream_consume_sent(Stream* stream, int count) {
  if (count <= 0) return;
  if (count == stream->codec.send_count) {
    stream->codec.send_count = 0;  // all went: nothing to move, and a large buffer goes back
    stream_shrink(&stream->codec.send_buffer, &stream->codec.send_capacity, stream->send_storage,
                  kStreamSendStart);
    return;
  }
  std::memmove(stream->codec.send_buffer, stream->codec.send_buffer + count,
               static_cast<std::size_t>(stream->codec.send_count - count));
  stream->codec.send_count -= count;
  if (stream->codec.message_open) stream->codec.message_start -= count;
}

// Makes the receive buffer hold at least needed bytes: true, or false with
// the status set to RC_OUT_OF_MEMORY.
bool stream_reserve_receive(Stream* stream, int needed) {
  StreamCodec& codec = stream->codec;
  if (needed <= codec.receive_capacity) return true;
  if (stream_grow(&codec.receive_buffer, &codec.receive_capacity, stream->receive_storage,
                  codec.write_position, needed))
    return true;
  stream_fail(stream, RC_OUT_OF_MEMORY);
  return false;
}

// Moves the received bytes not yet read to index at (the buffer's start for
// a length field; just after the length field for a body, so that the
// limits count a body as they always have). Nothing is current afterwards.
void stream_compact(Stream* stream, int at) {
  StreamCodec& codec = stream->codec;
  int unread = stream_received(stream);
  if (codec.read_position != at && unread > 0) {
    std::memmove(codec.receive_buffer + at, codec.receive_buffer + codec.read_position,
                 static_cast<std::size_t>(unread));
  }
  codec.read_position = codec.read_limit = stream->message_end = at;
  codec.write_position = at + unread;
}

// Receives into the receive buffer for count more bytes: as many as the
// channel has and the buffer has room for when ahead is set, else at most
// count. 0, RC_NO_CONNECTION, RC_IN_BUFFER_FULL, RC_OUT_OF_MEMORY or the
// transport's code.
int stream_fill_for(Stream* stream, int count, bool ahead) {
  if (stream->connection == nullptr) return RC_NO_CONNECTION;
  if (count < 0) count = 0;
  StreamCodec& codec = stream->codec;
  if (codec.write_position + count >= kStreamBufferSize) return RC_IN_BUFFER_FULL;
  if (!stream_reserve_receive(stream, codec.write_position + count)) return RC_OUT_OF_MEMORY;
  int ask = ahead ? codec.receive_capacity - codec.write_position : count;
  int received = 0;
  int rc = tunnel_receive(stream->connection, codec.receive_buffer + codec.write_position, ask,
                          &received);
  codec.status = rc;  // a successful fill clears the status
  if (rc != 0) return rc;
  codec.write_position += received;
  return 0;
}

// Fills the receive buffer until it holds needed unread bytes or the channel
// has no more for now: 0 (check what was received), or the failing fill's
// code.
int stream_fill_to(Stream* stream, int needed) {
  while (stream_received(stream) < needed) {
    int before = stream_received(stream);
    int rc = stream_fill_for(stream, needed - before, true);
    if (rc != 0) return rc;
    if (stream_received(stream) == before) break;
  }
  return 0;
}

// As stream_fill_to. Bytes that an earlier fill brought ahead stand for the
// fill that would bring them now, whose success would clear the status: a
// link reads on after a failed field just as when they were still with the
// transport. (A stream without a channel gets its bytes by delivery, not by
// fills, and keeps its status.)
int stream_fill_ahead_to(Stream* stream, int needed) {
  if (stream_received(stream) < needed) return stream_fill_to(stream, needed);
  if (stream->connection != nullptr) stream->codec.status = 0;
  return 0;
}

Stream* stream_new(std::uint32_t address, std::uint16_t port) {
  auto* stream = static_cast<Stream*>(mem_alloc(sizeof(Stream)));
  if (stream == nullptr) return nullptr;
  // Everything before the buffers starts at zero; the buffers need no clearing.
  std::memset(static_cast<void*>(stream), 0, offsetof(Stream, receive_storage));
  stream->codec.receive_buffer = stream->receive_storage;
  stream->codec.receive_capacity = kStreamReceiveStart;
  stream->codec.send_buffer = stream->send_storage;
  stream->codec.send_capacity = kStreamSendStart;
  stream->address = address;
  stream->port = port;
  stream->last_send_time = clock_now();
  return stream;
}

// Takes stream out of the list: true when it was there.
bool stream_unlink(Stream* stream) {
  for (Stream** link = &stream_list; *link != nullptr; link = &(*link)->next) {
    if (*link != stream) continue;
    *link = stream->next;
    return true;
  }
  return false;
}

void stream_free(Stream* stream) {
  rc4_destroy(stream->receive_cipher);
  rc4_destroy(stream->send_cipher);
  stream_shrink(&stream->codec.receive_buffer, &stream->codec.receive_capacity,
                stream->receive_storage, kStreamReceiveStart);
  stream_shrink(&stream->codec.send_buffer, &stream->codec.send_capacity, stream->send_storage,
                kStreamSendStart);
  mem_free(stream);
}

}  // namespace

void stream_rewind(Stream* stream) {
  StreamCodec& codec = stream->codec;
  codec.read_position = codec.read_limit = codec.write_position = stream->message_end = 0;
  stream_shrink(&codec.receive_buffer, &codec.receive_capacity, stream->receive_storage,
                kStreamReceiveStart);
}

bool stream_reserve_send(Stream* stream, int needed) {
  StreamCodec& codec = stream->codec;
  if (needed <= codec.send_capacity) return true;
  if (stream_grow(&codec.send_buffer, &codec.send_capacity, stream->send_storage, codec.send_count,
                  needed))
    return true;
  stream_fail(stream, RC_OUT_OF_MEMORY);
  return false;
}

Rc4State* stream_new_cipher(Stream* stream, const std::uint8_t* key, int key_length, int discard) {
  if (key == nullptr || key_length <= 0) {
    stream_fail(stream, RC_NULL_POINTER);
    return nullptr;
  }
  Rc4State* cipher = rc4_create(key, key_length);
  if (cipher == nullptr) {
    stream_fail(stream, RC_OUT_OF_MEMORY);
    return nullptr;
  }
  rc4_skip(cipher, static_cast<std::uint32_t>(discard));
  return cipher;
}

// ---- Streams ---------------------------------------------------------------

int stream_create(std::uint32_t address, std::uint16_t port, Stream** stream) {
  if (stream == nullptr) return RC_NULL_POINTER;
  Stream* created = stream_new(address, port);
  if (created == nullptr) return RC_OUT_OF_MEMORY;
  int rc = tunnel_connect(address, port, &created->connection);
  if (rc != 0) {
    mem_free(created);
    return rc;
  }
  tunnel_set_user(created->connection, created);  // a wait or a sweep names the stream
  created->next = stream_list;
  stream_list = created;
  *stream = created;
  return 0;
}

int stream_attach(int fd, Stream** stream) {
  if (stream == nullptr) return RC_NULL_POINTER;
  Stream* created = stream_new(0, 0);
  if (created == nullptr) return RC_OUT_OF_MEMORY;
  int rc = tunnel_attach(fd, &created->connection);
  if (rc != 0) {
    mem_free(created);
    return rc;
  }
  *stream = created;
  return 0;
}

int stream_create_unconnected(Stream** stream) {
  if (stream == nullptr) return RC_NULL_POINTER;
  *stream = stream_new(0, 0);
  return *stream == nullptr ? RC_OUT_OF_MEMORY : 0;
}

void stream_destroy(Stream* stream) {
  // A stream that is not in the list was never made or is already gone: it
  // is left alone without being read.
  if (stream == nullptr || !stream_unlink(stream)) return;
  tunnel_destroy(stream->connection);
  stream_free(stream);
}

void stream_destroy_attached(Stream* stream) {
  if (stream == nullptr) return;
  stream_unlink(stream);
  tunnel_destroy_attached(stream->connection);
  stream_free(stream);
}

void stream_set_held(Stream* stream, bool held) {
  if (stream != nullptr) stream->held = held;
}

int stream_socket(const Stream* stream) {
  return stream == nullptr ? -1 : tunnel_socket(stream->connection);
}

int stream_flush(Stream* stream) {
  if (stream == nullptr) return RC_NO_STREAM;
  if (stream->connection == nullptr) return RC_NO_CONNECTION;
  // Only finished messages go out; a message being built stays behind them.
  int ready = stream_ready_bytes(stream);
  if (ready == 0) return 0;
  int sent = 0;
  int rc = tunnel_send(stream->connection, stream->codec.send_buffer, ready, &sent);
  // The socket may take part of the buffer. The unsent tail moves to the
  // buffer's start and goes first at the next flush, so the framing survives
  // a full socket.
  if (sent > 0) stream_consume_sent(stream, sent < ready ? sent : ready);
  if (rc == 0) {
    stream->last_send_time = clock_now();
    return 0;
  }
  if (rc == RC_NOT_YET) return 0;
  stream_fail(stream, rc);
  return rc;
}

int stream_fill(Stream* stream, int count) {
  if (stream == nullptr) return RC_NO_STREAM;
  return stream_fill_for(stream, count, false);
}

int stream_read_message(Stream* stream) {
  if (stream == nullptr) return RC_NO_STREAM;
  if (stream->codec.send_count > 0 && stream->connection != nullptr) {
    int rc = stream_flush(stream);
    if (rc != 0) return rc;
  }
  StreamCodec& codec = stream->codec;
  if (stream->pending_length == 0) {
    // Between messages the next length field is what was received ahead, or
    // comes from the channel. With nothing received ahead the buffer starts
    // again at its beginning, so that passed-over empty messages cannot walk
    // the positions to the buffer's end; a part of a length field moves there.
    if (stream_received(stream) == 0) {
      stream_rewind(stream);
    } else if (stream_received(stream) < STREAM_LENGTH_FIELD) {
      stream_compact(stream, 0);
    }
    int rc = stream_fill_ahead_to(stream, STREAM_LENGTH_FIELD);
    if (rc != 0) return rc;
    if (stream_received(stream) < STREAM_LENGTH_FIELD) return RC_NOT_YET;
    // A failed stream reads nothing, so its cipher must not move either.
    if (codec.status != 0) return codec.status;
    stream->message_end = codec.read_position;  // nothing is current
    codec.read_limit = codec.read_position + STREAM_LENGTH_FIELD;
    stream_decipher(stream, STREAM_LENGTH_FIELD);
    std::uint8_t scratch[STREAM_LENGTH_FIELD];
    std::uint16_t length =
        stream_fields::word_at(stream_take(stream, STREAM_LENGTH_FIELD, scratch));
    stream->message_end = codec.read_position;
    if (codec.status != 0) return codec.status;
    if (length == 0) return RC_NOT_YET;  // an empty message is passed over
    if (length > STREAM_MAX_MESSAGE_LENGTH) {
      codec.status = RC_STREAM_MESSAGE_TOO_LONG;
      return RC_STREAM_MESSAGE_TOO_LONG;
    }
    stream->pending_length = length;
  }
  if (stream_received(stream) < stream->pending_length) {
    // The body follows its length field at the buffer's start, so that a
    // body of 32766 bytes or more never fits (RC_IN_BUFFER_FULL).
    stream_compact(stream, STREAM_LENGTH_FIELD);
    int rc = stream_fill_ahead_to(stream, stream->pending_length);
    if (rc == RC_IN_BUFFER_FULL) stream_fail(stream, rc);
    if (rc != 0) return rc;
    if (stream_received(stream) < stream->pending_length) return RC_NOT_YET;
  }
  stream->message_end = codec.read_limit = codec.read_position + stream->pending_length;
  stream_decipher(stream, stream->pending_length);
  stream->pending_length = 0;
  stream->body_deciphered = stream->receive_cipher != nullptr;
  return 0;
}

void stream_set_ciphers(Stream* stream, const std::uint8_t* key, int key_length,
                        int receive_discard, int send_discard) {
  if (stream == nullptr) return;
  rc4_destroy(stream->receive_cipher);
  rc4_destroy(stream->send_cipher);
  stream->receive_cipher = stream_new_cipher(stream, key, key_length, receive_discard);
  stream->send_cipher = stream_new_cipher(stream, key, key_length, send_discard);
  if (stream->receive_cipher == nullptr || stream->send_cipher == nullptr) {
    // Half a cipher pair would put plain bytes on an enciphered link: keep
    // none; the status says why.
    rc4_destroy(stream->receive_cipher);
    rc4_destroy(stream->send_cipher);
    stream->receive_cipher = stream->send_cipher = nullptr;
  }
  stream->first_message = 0;
  stream_decipher_unread_rest(stream);
}

void stream_set_receive_cipher(Stream* stream, const std::uint8_t* key, int key_length,
                               int discard) {
  if (stream == nullptr) return;
  rc4_destroy(stream->receive_cipher);
  stream->receive_cipher = stream_new_cipher(stream, key, key_length, discard);
  stream_decipher_unread_rest(stream);
}

bool stream_message_waiting(const Stream* stream) {
  if (stream == nullptr || stream_remaining(stream) > 0) return false;
  int ahead = stream_received(stream);
  return ahead >= (stream->pending_length == 0 ? STREAM_LENGTH_FIELD : stream->pending_length);
}

int stream_is_enciphered(const Stream* stream) {
  return stream != nullptr && stream->send_cipher != nullptr ? 1 : 0;
}

std::uint32_t stream_last_send(const Stream* stream) {
  return stream == nullptr ? 0 : stream->last_send_time;
}

int stream_status(const Stream* stream) {
  return stream == nullptr ? RC_NO_STREAM : stream->codec.status;
}

int stream_pending_send(const Stream* stream) {
  return stream == nullptr ? 0 : stream->codec.send_count;
}

Stream* stream_wait(int timeout) {
  // Every listed stream's channel names it (stream_create).
  return static_cast<Stream*>(tunnel_user(tunnel_wait(timeout)));
}

void stream_set_user(Stream* stream, void* user) {
  if (stream != nullptr) stream->user = user;
}

void* stream_user(const Stream* stream) {
  return stream == nullptr ? nullptr : stream->user;
}

int stream_deliver(Stream* from, Stream* to) {
  if (from == nullptr || to == nullptr) return RC_NO_STREAM;
  int ready = stream_ready_bytes(from);
  if (ready > kStreamBufferSize - to->codec.write_position) return RC_IN_BUFFER_FULL;
  if (!stream_reserve_receive(to, to->codec.write_position + ready)) return RC_OUT_OF_MEMORY;
  std::memcpy(to->codec.receive_buffer + to->codec.write_position, from->codec.send_buffer,
              static_cast<std::size_t>(ready));
  to->codec.write_position += ready;
  stream_consume_sent(from, ready);
  return 0;
}

}  // namespace orbilo
