// The message stream's link: the record and its list, flushes and fills,
// the framing of received messages, and the ciphers. A message is a 2-byte
// big-endian length L and L bytes. Sent messages are built in place in the
// send buffer (sdk/stream_fields.cpp writes their fields) and handed to the
// channel in one call per flush; received bytes are copied once, from the
// channel into the receive buffer. The length field is deciphered as it is
// read, and the body in place, whole, when the message becomes current, so
// that the fields read plain bytes.
#include "sdk/stream.h"

#include <cstddef>
#include <cstring>

#include "net/clock.h"
#include "net/memory.h"
#include "net/rc4.h"
#include "net/tunnel.h"
#include "sdk/stream_record.h"

namespace orbilo {

namespace {

constexpr int STREAM_MAX_MESSAGE_LENGTH = 32768;

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
    stream->codec.send_count = 0;  // all went: nothing to move
    return;
  }
  std::memmove(stream->codec.send_buffer, stream->codec.send_buffer + count,
               static_cast<std::size_t>(stream->codec.send_count - count));
  stream->codec.send_count -= count;
  if (stream->codec.message_open) stream->codec.message_start -= count;
}

// Fills the receive buffer until it holds needed unread bytes or the channel
// has no more for now: 0 (check what is available), or the failing fill's
// code.
int stream_fill_to(Stream* stream, int needed) {
  while (stream_available(stream) < needed) {
    int before = stream_available(stream);
    int rc = stream_fill(stream, needed - before);
    if (rc != 0) return rc;
    if (stream_available(stream) == before) break;
  }
  return 0;
}

Stream* stream_new(std::uint32_t address, std::uint16_t port) {
  auto* stream = static_cast<Stream*>(mem_alloc(sizeof(Stream)));
  if (stream == nullptr) return nullptr;
  // Everything before the buffers starts at zero; the buffers need no clearing.
  std::memset(static_cast<void*>(stream), 0, offsetof(Stream, receive_storage));
  stream->codec.receive_buffer = stream->receive_storage;
  stream->codec.send_buffer = stream->send_storage;
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
  mem_free(stream);
}

}  // namespace

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
  if (stream->connection == nullptr) return RC_NO_CONNECTION;
  if (count < 0) count = 0;
  if (stream->codec.write_position + count >= kStreamBufferSize) return RC_IN_BUFFER_FULL;
  int received = 0;
  int rc =
      tunnel_receive(stream->connection,
                     stream->codec.receive_buffer + stream->codec.write_position, count, &received);
  stream->codec.status = rc;  // a successful fill clears the status
  if (rc != 0) return rc;
  stream->codec.write_position += received;
  return 0;
}

int stream_read_message(Stream* stream) {
  if (stream == nullptr) return RC_NO_STREAM;
  if (stream->codec.send_count > 0 && stream->connection != nullptr) {
    int rc = stream_flush(stream);
    if (rc != 0) return rc;
  }
  if (stream->pending_length == 0) {
    // Between messages the buffer holds nothing unread: start again at its
    // beginning, so that passed-over empty messages cannot walk the positions
    // to the buffer's end.
    if (stream_available(stream) == 0) stream_rewind(stream);
    int rc = stream_fill_to(stream, STREAM_LENGTH_FIELD);
    if (rc != 0) return rc;
    if (stream_available(stream) < STREAM_LENGTH_FIELD) return RC_NOT_YET;
    // A failed stream reads nothing, so its cipher must not move either.
    if (stream->codec.status != 0) return stream->codec.status;
    stream_decipher(stream, STREAM_LENGTH_FIELD);
    std::uint8_t scratch[STREAM_LENGTH_FIELD];
    std::uint16_t length =
        stream_fields::word_at(stream_take(stream, STREAM_LENGTH_FIELD, scratch));
    if (stream->codec.status != 0) return stream->codec.status;
    if (length == 0) return RC_NOT_YET;  // an empty message is passed over
    if (length > STREAM_MAX_MESSAGE_LENGTH) {
      stream->codec.status = RC_STREAM_MESSAGE_TOO_LONG;
      return RC_STREAM_MESSAGE_TOO_LONG;
    }
    stream->pending_length = length;
  }
  // Only the current message's bytes are asked for: a message behind it stays
  // with the transport until the next call.
  int rc = stream_fill_to(stream, stream->pending_length);
  if (rc == RC_IN_BUFFER_FULL) stream_fail(stream, rc);
  if (rc != 0) return rc;
  if (stream_available(stream) < stream->pending_length) return RC_NOT_YET;
  stream->message_end = stream->codec.read_position + stream->pending_length;
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
  TunnelChannel* ready = tunnel_wait(timeout);
  if (ready == nullptr) return nullptr;
  for (Stream* stream = stream_list; stream != nullptr; stream = stream->next) {
    if (stream->connection == ready) return stream;
  }
  return nullptr;
}

int stream_deliver(Stream* from, Stream* to) {
  if (from == nullptr || to == nullptr) return RC_NO_STREAM;
  int ready = stream_ready_bytes(from);
  if (ready > kStreamBufferSize - to->codec.write_position) return RC_IN_BUFFER_FULL;
  std::memcpy(to->codec.receive_buffer + to->codec.write_position, from->codec.send_buffer,
              static_cast<std::size_t>(ready));
  to->codec.write_position += ready;
  stream_consume_sent(from, ready);
  return 0;
}

}  // namespace orbilo
