// The message stream: framing, field encoding, encipherment and the sticky
// status of one link. A message is a 2-byte big-endian length L and L bytes.
// Sent messages are built in place in the send buffer and handed to the
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

const std::uint8_t kSessionKey[16] = {0x9f, 0x2b, 0x39, 0x4a, 0xa9, 0x96, 0x5d, 0x82,
                                      0xc5, 0x7b, 0xd5, 0x1f, 0x64, 0x16, 0x41, 0x5d};

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

namespace {

constexpr int STREAM_LENGTH_FIELD = 2;
constexpr int STREAM_MAX_STRING = 255;
constexpr int STREAM_MAX_LONG_STRING = 1024;
constexpr int STREAM_MAX_DATA = 255;
constexpr int STREAM_MAX_MESSAGE_LENGTH = 32768;

Stream* stream_list = nullptr;

void stream_fail(Stream* stream, int rc) {
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
void stream_rewind(Stream* stream) {
  stream->read_position = stream->write_position = stream->message_end = 0;
}

// ---- Byte steps ------------------------------------------------------------

// Reads count bytes of the current message into out, or passes over them
// when out is nullptr. The same as reading byte by byte: once the status is
// set every further byte yields 0; running out of received bytes sets
// RC_STREAM_EMPTY, reaching the buffer's end RC_PROTOCOL_ERROR.
void stream_read(Stream* stream, std::uint8_t* out, int count) {
  if (count <= 0) return;
  int taken = 0;
  if (stream->status == 0) {
    int available = stream_available(stream);
    taken = count < available ? count : available;
    int before_end = kStreamBufferSize - stream->read_position;
    if (taken > before_end) taken = before_end;
    if (out != nullptr) {
      std::memcpy(out, stream->receive_buffer + stream->read_position,
                  static_cast<std::size_t>(taken));
    }
    stream->read_position += taken;
    if (taken < count) {
      stream->status = stream_available(stream) == 0 ? RC_STREAM_EMPTY : RC_PROTOCOL_ERROR;
    }
  }
  if (out != nullptr && taken < count) {
    std::memset(out + taken, 0, static_cast<std::size_t>(count - taken));
  }
}

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

inline std::uint16_t stream_word_at(const std::uint8_t* at) {
  return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

// Deciphers count received bytes at the read position in place.
void stream_decipher(Stream* stream, int count) {
  if (stream->receive_cipher == nullptr || count <= 0) return;
  rc4_crypt(stream->receive_cipher, stream->receive_buffer + stream->read_position,
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

// Claims count bytes at the end of the send buffer, or sets the status and
// gives nullptr: RC_OUT_BUFFER_FULL when they do not fit.
std::uint8_t* stream_claim(Stream* stream, long count) {
  if (stream->status != 0) return nullptr;
  if (count > kStreamBufferSize - stream->send_count) {
    stream->status = RC_OUT_BUFFER_FULL;
    return nullptr;
  }
  std::uint8_t* at = stream->send_buffer + stream->send_count;
  stream->send_count += static_cast<int>(count);
  return at;
}

void stream_put_word(std::uint8_t* at, unsigned value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}

// Takes the open message's bytes, its reserved length field included, back
// out of the send buffer, so that a message whose building failed never
// reaches the connection. Finished messages before it stay.
void stream_drop_open_message(Stream* stream) {
  if (!stream->message_open) return;
  stream->send_count = stream->message_start;
  stream->message_open = false;
}

// The bytes of finished messages at the send buffer's start.
int stream_ready_bytes(const Stream* stream) {
  return stream->message_open ? stream->message_start : stream->send_count;
}

// Drops the first count bytes of the send buffer, moving the rest to its
// start.
void stream_consume_sent(Stream* stream, int count) {
  if (count <= 0) return;
  std::memmove(stream->send_buffer, stream->send_buffer + count,
               static_cast<std::size_t>(stream->send_count - count));
  stream->send_count -= count;
  if (stream->message_open) stream->message_start -= count;
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

// A fresh cipher state keyed with key and skipped by discard, or nullptr
// with the status set.
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

Stream* stream_new(std::uint32_t address, std::uint16_t port) {
  auto* stream = static_cast<Stream*>(mem_alloc(sizeof(Stream)));
  if (stream == nullptr) return nullptr;
  // Everything before the buffers starts at zero; the buffers need no clearing.
  std::memset(static_cast<void*>(stream), 0, offsetof(Stream, receive_buffer));
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
  int rc = tunnel_send(stream->connection, stream->send_buffer, ready, &sent);
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
  if (stream->write_position + count >= kStreamBufferSize) return RC_IN_BUFFER_FULL;
  int received = 0;
  int rc = tunnel_receive(stream->connection, stream->receive_buffer + stream->write_position,
                          count, &received);
  stream->status = rc;  // a successful fill clears the status
  if (rc != 0) return rc;
  stream->write_position += received;
  return 0;
}

int stream_read_message(Stream* stream) {
  if (stream == nullptr) return RC_NO_STREAM;
  if (stream->send_count > 0 && stream->connection != nullptr) {
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
    if (stream->status != 0) return stream->status;
    stream_decipher(stream, STREAM_LENGTH_FIELD);
    std::uint8_t scratch[STREAM_LENGTH_FIELD];
    std::uint16_t length = stream_word_at(stream_take(stream, STREAM_LENGTH_FIELD, scratch));
    if (stream->status != 0) return stream->status;
    if (length == 0) return RC_NOT_YET;  // an empty message is passed over
    if (length > STREAM_MAX_MESSAGE_LENGTH) {
      stream->status = RC_STREAM_MESSAGE_TOO_LONG;
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
  stream->message_end = stream->read_position + stream->pending_length;
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
  return stream == nullptr ? RC_NO_STREAM : stream->status;
}

int stream_pending_send(const Stream* stream) {
  return stream == nullptr ? 0 : stream->send_count;
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
  if (ready > kStreamBufferSize - to->write_position) return RC_IN_BUFFER_FULL;
  std::memcpy(to->receive_buffer + to->write_position, from->send_buffer,
              static_cast<std::size_t>(ready));
  to->write_position += ready;
  stream_consume_sent(from, ready);
  return 0;
}

// ---- Field steps -----------------------------------------------------------

namespace stream_fields {

void send_cipher(Stream* stream, const std::uint8_t* key, int length) {
  if (stream->status != 0) return;
  Rc4State* cipher = stream_new_cipher(stream, key, length, 0);
  if (cipher == nullptr) return;
  rc4_destroy(stream->send_cipher);  // none is expected; never leak one
  stream->send_cipher = cipher;
  stream->first_message = 1;
}

void send_begin(Stream* stream, int id) {
  if (stream->status != 0) return;
  // A message left open by a list that ended with FIELD_STATUS and was never
  // ended is dropped, never sent with an unset length.
  stream_drop_open_message(stream);
  stream->message_start = stream->send_count;
  stream->message_open = true;
  std::uint8_t* at = stream_claim(stream, STREAM_LENGTH_FIELD + 1);
  if (at != nullptr) at[STREAM_LENGTH_FIELD] = static_cast<std::uint8_t>(id);
}

void send_byte(Stream* stream, int value) {
  std::uint8_t* at = stream_claim(stream, 1);
  if (at != nullptr) at[0] = static_cast<std::uint8_t>(value);
}

void send_bytes(Stream* stream, int count, const void* bytes) {
  if (count <= 0) return;
  if (bytes == nullptr) return stream_fail(stream, RC_NULL_POINTER);
  std::uint8_t* at = stream_claim(stream, count);
  if (at != nullptr) std::memcpy(at, bytes, static_cast<std::size_t>(count));
}

void send_word(Stream* stream, int value) {
  std::uint8_t* at = stream_claim(stream, 2);
  if (at != nullptr) stream_put_word(at, static_cast<unsigned>(value));
}

void send_words(Stream* stream, int count, const std::uint16_t* values) {
  if (count <= 0) return;
  if (values == nullptr) return stream_fail(stream, RC_NULL_POINTER);
  std::uint8_t* at = stream_claim(stream, 2L * count);
  if (at == nullptr) return;
  for (int k = 0; k < count; ++k) stream_put_word(at + 2 * k, values[k]);
}

void send_long(Stream* stream, std::uint32_t value) {
  std::uint8_t* at = stream_claim(stream, 4);
  if (at == nullptr) return;
  stream_put_word(at, value >> 16);
  stream_put_word(at + 2, value & 0xffff);
}

void send_byte_string(Stream* stream, int byte, const char* text) {
  send_byte(stream, byte);
  send_string(stream, text);
}

// A text field: a length of width bytes, then the text without terminator.
// Over limit bytes sets RC_STRING_TOO_LONG and writes nothing of the field.
void send_text(Stream* stream, const char* text, int width, int limit) {
  if (stream->status != 0) return;
  std::size_t length = text == nullptr ? 0 : strnlen(text, static_cast<std::size_t>(limit) + 1);
  if (length > static_cast<std::size_t>(limit)) return stream_fail(stream, RC_STRING_TOO_LONG);
  std::uint8_t* at = stream_claim(stream, width + static_cast<long>(length));
  if (at == nullptr) return;
  if (width == 1) {
    at[0] = static_cast<std::uint8_t>(length);
  } else {
    stream_put_word(at, static_cast<unsigned>(length));
  }
  if (length > 0) std::memcpy(at + width, text, length);
}

void send_string(Stream* stream, const char* text) {
  send_text(stream, text, 1, STREAM_MAX_STRING);
}

void send_long_string(Stream* stream, const char* text) {
  send_text(stream, text, 2, STREAM_MAX_LONG_STRING);
}

void send_data(Stream* stream, int length, const void* bytes) {
  if (stream->status != 0) return;
  if (length < 0 || length > STREAM_MAX_DATA) return stream_fail(stream, RC_STRING_TOO_LONG);
  if (length > 0 && bytes == nullptr) return stream_fail(stream, RC_NULL_POINTER);
  std::uint8_t* at = stream_claim(stream, 1 + length);
  if (at == nullptr) return;
  at[0] = static_cast<std::uint8_t>(length);
  if (length > 0) std::memcpy(at + 1, bytes, static_cast<std::size_t>(length));
}

void send_raw4(Stream* stream, std::uint32_t value) {
  std::uint8_t* at = stream_claim(stream, 4);
  if (at != nullptr) std::memcpy(at, &value, 4);  // memory order, unchanged
}

void send_word_le(Stream* stream, int value) {
  std::uint8_t* at = stream_claim(stream, 2);
  if (at == nullptr) return;
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

int send_status(Stream* stream) {
  if (stream->status != 0) stream_drop_open_message(stream);
  return stream->status;
}

int send_end(Stream* stream) {
  if (stream->status != 0) {
    stream_drop_open_message(stream);
    return stream->status;
  }
  if (stream->message_open) {
    std::uint8_t* message = stream->send_buffer + stream->message_start;
    int length = stream->send_count - stream->message_start - STREAM_LENGTH_FIELD;
    stream_put_word(message, static_cast<unsigned>(length));
    if (stream->send_cipher != nullptr) {
      // Until the peer has sent its keys, the length and the id go out plain
      // and the rest is enciphered; afterwards the whole message is.
      if (stream->first_message) {
        rc4_crypt(stream->send_cipher, message + STREAM_LENGTH_FIELD + 1,
                  static_cast<std::size_t>(length - 1));
      } else {
        rc4_crypt(stream->send_cipher, message,
                  static_cast<std::size_t>(length + STREAM_LENGTH_FIELD));
      }
    }
    stream->message_open = false;
  }
  stream_flush(stream);
  return stream->status;
}

void receive_byte(Stream* stream, std::uint8_t* value) {
  std::uint8_t scratch[1];
  std::uint8_t byte = *stream_take(stream, 1, scratch);
  if (value != nullptr) *value = byte;
}

void receive_bytes(Stream* stream, int count, std::uint8_t* bytes) {
  stream_read(stream, bytes, count);
}

void receive_word(Stream* stream, std::uint16_t* value) {
  std::uint8_t scratch[2];
  std::uint16_t word = stream_word_at(stream_take(stream, 2, scratch));
  if (value != nullptr) *value = word;
}

void receive_words(Stream* stream, int count, std::uint16_t* values) {
  for (int k = 0; k < count; ++k) receive_word(stream, values == nullptr ? nullptr : values + k);
}

void receive_long(Stream* stream, std::uint32_t* value) {
  std::uint8_t scratch[4];
  const std::uint8_t* at = stream_take(stream, 4, scratch);
  if (value == nullptr) return;
  *value = (static_cast<std::uint32_t>(at[0]) << 24) | (static_cast<std::uint32_t>(at[1]) << 16) |
           (static_cast<std::uint32_t>(at[2]) << 8) | at[3];
}

namespace {

// Reads a text of length bytes into buffer[0..size) with a terminator. The
// length comes from the peer and is not trusted: a text longer than the
// buffer is capped to size - 1 bytes and the rest is read and passed over,
// so nothing is written past the buffer and the fields after it stay in
// place.
void receive_text(Stream* stream, int length, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return stream_read(stream, nullptr, length);
  int kept = static_cast<std::size_t>(length) < size ? length : static_cast<int>(size - 1);
  stream_read(stream, reinterpret_cast<std::uint8_t*>(buffer), kept);
  stream_read(stream, nullptr, length - kept);
  buffer[kept] = '\0';
}

}  // namespace

void receive_string(Stream* stream, char* buffer, std::size_t size) {
  std::uint8_t length;
  receive_byte(stream, &length);
  receive_text(stream, length, buffer, size);
}

void receive_long_string(Stream* stream, char* buffer, std::size_t size) {
  std::uint16_t length;
  receive_word(stream, &length);
  receive_text(stream, length, buffer, size);
}

void receive_data(Stream* stream, int* length, std::uint8_t* buffer) {
  std::uint8_t count;
  receive_byte(stream, &count);
  if (length != nullptr) *length = count;
  // A one-byte length never exceeds the 255 bytes the walker insists on.
  stream_read(stream, buffer, count);
}

void receive_raw4(Stream* stream, std::uint8_t* bytes) {
  stream_read(stream, bytes, 4);
}

void receive_remaining(Stream* stream, int* count) {
  if (count != nullptr) *count = stream_remaining(stream);
}

void receive_skip(Stream* stream, int count) {
  stream_read(stream, nullptr, count);
}

int receive_status(Stream* stream) {
  return stream->status;
}

int receive_end(Stream* stream) {
  // Without a current message (its body still arriving) there is nothing to end.
  if (stream->pending_length != 0) return stream->status;
  int rest = stream_remaining(stream);
  if (rest > 0) {
    stream_fail(stream, RC_INCORRECT_MESSAGE_LENGTH);
    // The unread rest of the message is dropped (its bytes have been through
    // the receive cipher already), so the next message still deciphers and
    // lands at the buffer's start.
    stream->read_position += rest < stream_available(stream) ? rest : stream_available(stream);
  }
  stream->message_end = stream->read_position;
  // The buffer held only this message, since the fills never ask for more
  // than it needs: the next one starts at the beginning.
  if (stream_available(stream) == 0) stream_rewind(stream);
  return stream->status;
}

}  // namespace stream_fields
