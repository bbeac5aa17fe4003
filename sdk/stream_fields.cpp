// The field encoders and decoders of the message stream: each field code's
// bytes, written into the send buffer in place or read from the current
// message, through the byte steps and the sticky status. These are the slow
// steps behind the field steps of sdk/stream.h (put and take): a fixed-width
// field comes here only when its fast path does not apply, the others always.
#include <cstddef>
#include <cstring>

#include "net/rc4.h"
#include "sdk/stream_record.h"

namespace orbilo {

namespace {

constexpr int STREAM_MAX_STRING = 255;
constexpr int STREAM_MAX_LONG_STRING = 1024;
constexpr int STREAM_MAX_DATA = 255;

// Claims count bytes at the end of the send buffer, growing it as needed, or
// sets the status and gives nullptr: RC_OUT_BUFFER_FULL when they would pass
// the buffer's limit, RC_OUT_OF_MEMORY when it cannot grow.
std::uint8_t* stream_claim(Stream* stream, long count) {
  if (stream->codec.status != 0) return nullptr;
  if (count > kStreamBufferSize - stream->codec.send_count) {
    stream->codec.status = RC_OUT_BUFFER_FULL;
    return nullptr;
  }
  if (!stream_reserve_send(stream, stream->codec.send_count + static_cast<int>(count))) {
    return nullptr;
  }
  std::uint8_t* at = stream->codec.send_buffer + stream->codec.send_count;
  stream->codec.send_count += static_cast<int>(count);
  return at;
}

}  // namespace

void stream_read(Stream* stream, std::uint8_t* out, int count) {
  if (count <= 0) return;
  int taken = 0;
  if (stream->codec.status == 0) {
    int available = stream_available(stream);
    taken = count < available ? count : available;
    int before_end = kStreamBufferSize - stream->codec.read_position;
    if (taken > before_end) taken = before_end;
    if (out != nullptr) {
      std::memcpy(out, stream->codec.receive_buffer + stream->codec.read_position,
                  static_cast<std::size_t>(taken));
    }
    stream->codec.read_position += taken;
    if (taken < count) {
      stream->codec.status = stream_available(stream) == 0 ? RC_STREAM_EMPTY : RC_PROTOCOL_ERROR;
    }
  }
  if (out != nullptr && taken < count) {
    std::memset(out + taken, 0, static_cast<std::size_t>(count - taken));
  }
}

void stream_drop_open_message(Stream* stream) {
  if (!stream->codec.message_open) return;
  stream->codec.send_count = stream->codec.message_start;
  stream->codec.message_open = false;
}

namespace stream_fields {

void send_cipher(Stream* stream, const std::uint8_t* key, int length) {
  if (stream->codec.status != 0) return;
  Rc4State* cipher = stream_new_cipher(stream, key, length, 0);
  if (cipher == nullptr) return;
  rc4_destroy(stream->send_cipher);  // none is expected; never leak one
  stream->send_cipher = cipher;
  stream->first_message = 1;
}

void send_begin(Stream* stream, int id) {
  if (stream->codec.status != 0) return;
  // A message left open by a list that ended with FIELD_STATUS and was never
  // ended is dropped, never sent with an unset length.
  stream_drop_open_message(stream);
  stream->codec.message_start = stream->codec.send_count;
  stream->codec.message_open = true;
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
  if (at != nullptr) put_word(at, static_cast<unsigned>(value));
}

void send_words(Stream* stream, int count, const std::uint16_t* values) {
  if (count <= 0) return;
  if (values == nullptr) return stream_fail(stream, RC_NULL_POINTER);
  std::uint8_t* at = stream_claim(stream, 2L * count);
  if (at == nullptr) return;
  for (int k = 0; k < count; ++k) put_word(at + 2 * k, values[k]);
}

void send_long(Stream* stream, std::uint32_t value) {
  std::uint8_t* at = stream_claim(stream, 4);
  if (at == nullptr) return;
  put_long(at, value);
}

void send_byte_string(Stream* stream, int byte, const char* text) {
  send_byte(stream, byte);
  send_string(stream, text);
}

// A text field: a length of width bytes, then the text without terminator.
// Over limit bytes sets RC_STRING_TOO_LONG and writes nothing of the field.
void send_text(Stream* stream, const char* text, int width, int limit) {
  if (stream->codec.status != 0) return;
  std::size_t length = text == nullptr ? 0 : strnlen(text, static_cast<std::size_t>(limit) + 1);
  if (length > static_cast<std::size_t>(limit)) return stream_fail(stream, RC_STRING_TOO_LONG);
  std::uint8_t* at = stream_claim(stream, width + static_cast<long>(length));
  if (at == nullptr) return;
  if (width == 1) {
    at[0] = static_cast<std::uint8_t>(length);
  } else {
    put_word(at, static_cast<unsigned>(length));
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
  if (stream->codec.status != 0) return;
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
  if (stream->codec.status != 0) stream_drop_open_message(stream);
  return stream->codec.status;
}

int send_end(Stream* stream) {
  if (stream->codec.status != 0) {
    stream_drop_open_message(stream);
    return stream->codec.status;
  }
  if (stream->codec.message_open) {
    std::uint8_t* message = stream->codec.send_buffer + stream->codec.message_start;
    int length = stream->codec.send_count - stream->codec.message_start - STREAM_LENGTH_FIELD;
    put_word(message, static_cast<unsigned>(length));
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
    stream->codec.message_open = false;
  }
  // A held stream gathers its messages for its owner's flush, until half its
  // limit is taken.
  if (!stream->held || stream->codec.send_count >= kStreamBufferSize / 2) stream_flush(stream);
  return stream->codec.status;
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
  std::uint16_t word = word_at(stream_take(stream, 2, scratch));
  if (value != nullptr) *value = word;
}

void receive_words(Stream* stream, int count, std::uint16_t* values) {
  for (int k = 0; k < count; ++k) receive_word(stream, values == nullptr ? nullptr : values + k);
}

void receive_long(Stream* stream, std::uint32_t* value) {
  std::uint8_t scratch[4];
  const std::uint8_t* at = stream_take(stream, 4, scratch);
  if (value != nullptr) *value = long_at(at);
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
  return stream->codec.status;
}

int receive_end(Stream* stream) {
  // Without a current message (its body still arriving) there is nothing to end.
  if (stream->pending_length != 0) return stream->codec.status;
  int rest = stream_remaining(stream);
  if (rest > 0) {
    stream_fail(stream, RC_INCORRECT_MESSAGE_LENGTH);
    // The unread rest of the message is dropped (its bytes have been through
    // the receive cipher already), so the next message still deciphers and
    // lands at the buffer's start.
    stream->codec.read_position +=
        rest < stream_available(stream) ? rest : stream_available(stream);
  }
  // Nothing is current now; what was received ahead waits for the next
  // stream_read_message(). With nothing ahead the next message starts at the
  // buffer's beginning.
  stream->message_end = stream->codec.read_limit = stream->codec.read_position;
  if (stream_received(stream) == 0) stream_rewind(stream);
  return stream->codec.status;
}

}  // namespace stream_fields

}  // namespace orbilo
