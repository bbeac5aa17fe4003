// The message stream: one per link. A transport channel with a receive
// buffer and a send buffer of at most 32 KiB each, and a stream cipher for
// each direction. Each buffer starts small, inside the stream's record, grows
// as a message needs it up to its 32 KiB limit, and gives the memory back
// once it is empty. Each message is framed by a 2-byte big-endian length. Messages are built and
// taken apart by walking a list of (field, arguments) pairs:
//
//   stream_send(stream, FIELD_BEGIN, 24, FIELD_STRING, "abc", FIELD_END);
//   stream_receive(stream, FIELD_WORD, &session, FIELD_STRING, name, FIELD_END);
//
// The fields are typed: a wrong argument, a missing argument or a list that
// does not end with FIELD_END or FIELD_STATUS does not compile.
//
// Errors are sticky: the first failure becomes the stream status, every later
// field is skipped (reads yield 0) and the status is what the lists return.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "protocol/values.h"
#include "sdk/sdk.h"

namespace orbilo {

struct Stream;

// The limit of each buffer: every size check of the framing is against it,
// whatever the buffer holds now.
inline constexpr int kStreamBufferSize = 32768;
// What each buffer starts with, inside the record: room for the messages of
// a link that is not sending or receiving anything large.
inline constexpr int kStreamReceiveStart = 1024;
inline constexpr int kStreamSendStart = 512;

// ---- Field codes ---------------------------------------------------------
// Each code is a distinct type, so that the compiler checks its arguments.
// Its base says how many arguments it takes when sending and when receiving;
// a code that takes none in a direction is not used there and is passed
// over, except the two that end a list. The types live beside the list
// walkers, where overload resolution finds them.
namespace stream_fields {

template <int SendArguments, int ReceiveArguments, bool EndsList = false>
struct FieldCode {
  static constexpr int send_arguments = SendArguments;
  static constexpr int receive_arguments = ReceiveArguments;
  static constexpr bool ends_list = EndsList;
};

// Sending: the key pointer and key length (keys the send cipher).
struct FieldCipher : FieldCode<2, 0> {};
// Sending: the message id.
struct FieldBegin : FieldCode<1, 0> {};
// Sending: the value. Receiving: std::uint8_t*.
struct FieldByte : FieldCode<1, 1> {};
// Sending: count, bytes. Receiving: count, std::uint8_t*.
struct FieldBytes : FieldCode<2, 2> {};
// Sending: the value. Receiving: std::uint16_t*.
struct FieldWord : FieldCode<1, 1> {};
// Sending: count, values. Receiving: count, std::uint16_t*.
struct FieldWords : FieldCode<2, 2> {};
// Sending: the value. Receiving: std::int32_t* or std::uint32_t*.
struct FieldLong : FieldCode<1, 1> {};
// Sending: a byte, then a text.
struct FieldByteString : FieldCode<2, 0> {};
// Sending: the text. Receiving: char (&)[N], N >= 256.
struct FieldString : FieldCode<1, 1> {};
// Sending: the text. Receiving: char (&)[N] (capped to N - 1).
struct FieldLongString : FieldCode<1, 1> {};
// Sending: length, bytes. Receiving: int*, std::uint8_t (&)[N], N >= 255.
struct FieldData : FieldCode<2, 2> {};
// Sending: the value in memory order. Receiving: std::uint8_t (&)[4] or std::uint32_t*.
struct FieldRaw4 : FieldCode<1, 1> {};
// Sending: the value, low byte first.
struct FieldWordLe : FieldCode<1, 0> {};
// Ends a list: returns the status, nothing framed or sent.
struct FieldStatus : FieldCode<0, 0, true> {};
// Receiving: int*, the bytes of the message not yet read.
struct FieldRemaining : FieldCode<0, 1> {};
// Receiving: the count of bytes to read and discard.
struct FieldSkip : FieldCode<0, 1> {};
// Ends a list: sending frames, enciphers and flushes; receiving checks the length.
struct FieldEnd : FieldCode<0, 0, true> {};

// One of the codes above.
template <typename T>
concept StreamField =
    std::is_base_of_v<FieldCode<T::send_arguments, T::receive_arguments, T::ends_list>, T>;

}  // namespace stream_fields

inline constexpr stream_fields::FieldCipher FIELD_CIPHER{};
inline constexpr stream_fields::FieldBegin FIELD_BEGIN{};
inline constexpr stream_fields::FieldByte FIELD_BYTE{};
inline constexpr stream_fields::FieldBytes FIELD_BYTES{};
inline constexpr stream_fields::FieldWord FIELD_WORD{};
inline constexpr stream_fields::FieldWords FIELD_WORDS{};
inline constexpr stream_fields::FieldLong FIELD_LONG{};
inline constexpr stream_fields::FieldByteString FIELD_BYTE_STRING{};
inline constexpr stream_fields::FieldString FIELD_STRING{};
inline constexpr stream_fields::FieldLongString FIELD_LONG_STRING{};
inline constexpr stream_fields::FieldData FIELD_DATA{};
inline constexpr stream_fields::FieldRaw4 FIELD_RAW4{};
inline constexpr stream_fields::FieldWordLe FIELD_WORD_LE{};
inline constexpr stream_fields::FieldStatus FIELD_STATUS{};
inline constexpr stream_fields::FieldRemaining FIELD_REMAINING{};
inline constexpr stream_fields::FieldSkip FIELD_SKIP{};
inline constexpr stream_fields::FieldEnd FIELD_END{};

// ---- Streams -------------------------------------------------------------

// Opens a stream to address:port (network order): 0 with *stream stored,
// RC_OUT_OF_MEMORY, or the result of tunnel_connect (nothing is kept).
int stream_create(std::uint32_t address, std::uint16_t port, Stream** stream);

// Unlinks the stream, closes its channel, frees its ciphers and record. A
// stream that is not in the list (already destroyed, or made by
// stream_attach) is left alone.
void stream_destroy(Stream* stream);

// 0 when a whole message is in the receive buffer and has become the current
// message; RC_NOT_YET when more bytes must arrive first; RC_STREAM_MESSAGE_TOO_LONG,
// RC_IN_BUFFER_FULL, RC_OUT_OF_MEMORY (the buffer could not grow for it) or a
// transport code on failure; RC_NO_STREAM for nullptr. A fill may bring the
// bytes of later messages too: they wait in the buffer, and each becomes
// current only through a later call.
int stream_read_message(Stream* stream);

// Hands the finished messages of the send buffer to the channel: 0 when they
// went out, or when the socket took part or none of them (the unsent tail is
// kept at the buffer's start for the next flush); RC_NO_CONNECTION; else the
// transport's code, which becomes the status (RC_TIMEOUT when the socket has
// taken nothing for more than 20 s).
int stream_flush(Stream* stream);

// Receives up to count bytes into the receive buffer, growing it as needed:
// 0, RC_NO_CONNECTION, RC_IN_BUFFER_FULL, RC_OUT_OF_MEMORY or the transport's
// code.
int stream_fill(Stream* stream, int count);

// Replaces both ciphers with fresh ones keyed with key, discarding
// receive_discard and send_discard keystream bytes (modulo 65536), and ends
// the first-message rule. A state that cannot be made leaves the stream
// with no cipher and the status set (RC_OUT_OF_MEMORY).
void stream_set_ciphers(Stream* stream, const std::uint8_t* key, int key_length,
                        int receive_discard, int send_discard);

// True when the next stream_read_message() can go on with bytes received
// ahead, without the channel: nothing of the current message is left unread,
// and a length field, or the whole body whose length was read, is in the
// buffer. A caller that waits on the socket before it reads again must read
// such a stream first; its socket may have nothing more to say.
bool stream_message_waiting(const Stream* stream);

int stream_is_enciphered(const Stream* stream);  // 1 when it has a send cipher
std::uint32_t stream_last_send(const Stream* stream);
int stream_status(const Stream* stream);        // RC_NO_STREAM for nullptr
int stream_pending_send(const Stream* stream);  // bytes in the send buffer

// The stream whose channel becomes readable within timeout ms (tunnel_wait),
// or nullptr.
Stream* stream_wait(int timeout);

// A pointer of the stream's owner (nullptr at first). A listed stream's
// channel names the stream itself (tunnel_user), so that a sweep of the
// channels (tunnel_sweep) leads from a ready channel to its owner.
void stream_set_user(Stream* stream, void* user);
void* stream_user(const Stream* stream);

// ---- Streams outside the library's list ----------------------------------

// The servers' entry: a stream over a socket that is already connected (one
// that a server accepted), with the same framing, fields and ciphers as the
// library's own links. It is in no list: stream_wait() never reports it (a
// server waits on stream_socket() itself) and stream_destroy() leaves it
// alone; close it with stream_destroy_attached(). The stream owns the socket
// from then on; on failure the socket stays the caller's. 0, RC_NULL_POINTER,
// RC_NO_SOCKET, RC_OUT_OF_MEMORY or RC_NONBLOCKING_FAILED.
int stream_attach(int fd, Stream** stream);

// A stream without a channel and in no list, to run the codec in memory.
// Its flush answers RC_NO_CONNECTION without touching the status, so the
// messages built on it stay in its send buffer until stream_deliver() moves
// them; its fills answer RC_NO_CONNECTION. Close it with
// stream_destroy_attached(). 0, RC_NULL_POINTER or RC_OUT_OF_MEMORY.
int stream_create_unconnected(Stream** stream);

// Closes and frees a stream made by stream_attach() or
// stream_create_unconnected(): its socket, ciphers and record. nullptr is
// ignored.
void stream_destroy_attached(Stream* stream);

// The stream's socket, for a server's own wait; -1 when it has none.
int stream_socket(const Stream* stream);

// A server's stream may hold its finished messages until the server flushes
// it (stream_flush), so that what one step sends a link goes out in one
// write: FIELD_END then frames and enciphers without flushing, unless half
// the buffer's limit is taken. Off by default.
void stream_set_held(Stream* stream, bool held);

// Replaces the receive cipher alone with a fresh state keyed with key,
// discarding discard keystream bytes (modulo 65536). The servers' side of a
// link's keying: a client's first message is plain up to its id and
// enciphered after it from a freshly keyed state, so a server reads the
// length and the id, then calls this with the session key and 0 before it
// reads the rest. A state that cannot be made sets the status
// (RC_OUT_OF_MEMORY).
void stream_set_receive_cipher(Stream* stream, const std::uint8_t* key, int key_length,
                               int discard);

// Moves the finished messages of from's send buffer to the end of to's
// receive buffer, as if they had arrived from the transport (the codec in
// memory, for tests and benchmarks). 0, RC_NO_STREAM, RC_IN_BUFFER_FULL when
// they do not fit below the buffer's limit, or RC_OUT_OF_MEMORY when the
// buffer cannot grow for them (nothing moves in both cases).
int stream_deliver(Stream* from, Stream* to);

// ---- Field steps -----------------------------------------------------------
namespace stream_fields {

// The slow steps (sdk/stream_fields.cpp): each field's bytes through the byte
// steps and the sticky status.
void send_cipher(Stream* stream, const std::uint8_t* key, int length);
void send_begin(Stream* stream, int id);
void send_byte(Stream* stream, int value);
void send_bytes(Stream* stream, int count, const void* bytes);
void send_word(Stream* stream, int value);
void send_words(Stream* stream, int count, const std::uint16_t* values);
void send_long(Stream* stream, std::uint32_t value);
void send_byte_string(Stream* stream, int byte, const char* text);
void send_string(Stream* stream, const char* text);
void send_long_string(Stream* stream, const char* text);
void send_data(Stream* stream, int length, const void* bytes);
void send_raw4(Stream* stream, std::uint32_t value);
void send_word_le(Stream* stream, int value);
int send_status(Stream* stream);
int send_end(Stream* stream);

void receive_byte(Stream* stream, std::uint8_t* value);
void receive_bytes(Stream* stream, int count, std::uint8_t* bytes);
void receive_word(Stream* stream, std::uint16_t* value);
void receive_words(Stream* stream, int count, std::uint16_t* values);
void receive_long(Stream* stream, std::uint32_t* value);
void receive_string(Stream* stream, char* buffer, std::size_t size);
void receive_long_string(Stream* stream, char* buffer, std::size_t size);
void receive_data(Stream* stream, int* length, std::uint8_t* buffer);
void receive_raw4(Stream* stream, std::uint8_t* bytes);
void receive_remaining(Stream* stream, int* count);
void receive_skip(Stream* stream, int count);
int receive_status(Stream* stream);
int receive_end(Stream* stream);

// The codec state that every stream's record starts with (see
// sdk/stream_record.h); only the stream's own code touches it.
struct StreamCodec {
  int status;         // 0, or the code of the first failure (sticky)
  int send_count;     // bytes in send_buffer, finished or being built
  int message_start;  // index of the length field of the open message
  bool message_open;  // FIELD_BEGIN given, FIELD_END not yet
  int read_position;  // next byte to read in receive_buffer
  // The end of what may be read: the current message's end, or the write
  // position while a length field is read. Bytes received beyond it belong
  // to later messages and are not deciphered yet.
  int read_limit;
  int write_position;            // where the next received bytes go
  int send_capacity;             // bytes send_buffer holds now
  int receive_capacity;          // bytes receive_buffer holds now
  std::uint8_t* send_buffer;     // the record's own, or a larger one
  std::uint8_t* receive_buffer;  // the record's own, or a larger one
};

// The record is a standard-layout struct whose first member is its codec
// state, so both have one address (sdk/stream_record.h checks this).
inline StreamCodec& codec(Stream* stream) {
  return *reinterpret_cast<StreamCodec*>(stream);
}

// Claims the next count bytes of the send buffer when the status is 0 and
// they fit in what it holds now; else nullptr, and the field's slow step
// must run (which grows the buffer, or fails).
inline std::uint8_t* claim_fast(Stream* stream, int count) {
  StreamCodec& state = codec(stream);
  if (state.status != 0 || count > state.send_capacity - state.send_count) return nullptr;
  std::uint8_t* at = state.send_buffer + state.send_count;
  state.send_count += count;
  return at;
}

// Takes the next count bytes of the current message when the status is 0
// and they are there (the read limit never passes the buffer's end, so
// neither do they); else nullptr, and the field's slow step must run.
inline const std::uint8_t* take_fast(Stream* stream, int count) {
  StreamCodec& state = codec(stream);
  if (state.status != 0 || count > state.read_limit - state.read_position) return nullptr;
  const std::uint8_t* at = state.receive_buffer + state.read_position;
  state.read_position += count;
  return at;
}

inline void put_word(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}

inline void put_long(std::uint8_t* at, std::uint32_t value) {
  put_word(at, value >> 16);
  put_word(at + 2, value);
}

inline std::uint16_t word_at(const std::uint8_t* at) {
  return static_cast<std::uint16_t>((at[0] << 8) | at[1]);
}

inline std::uint32_t long_at(const std::uint8_t* at) {
  return (static_cast<std::uint32_t>(at[0]) << 24) | (static_cast<std::uint32_t>(at[1]) << 16) |
         (static_cast<std::uint32_t>(at[2]) << 8) | at[3];
}

// One step for each field code and direction: put() writes a field with its
// arguments, take() reads one into its destinations. Their parameter types
// are the fields' type checks.

// The fixed-width fields, with the fast paths: the common case (status 0,
// room in the send buffer or bytes in the current message) is done in line;
// anything else goes to the field's slow step, which sets the status as the
// byte steps do.
inline void put(Stream* s, FieldBegin, int id) {
  StreamCodec& state = codec(s);
  if (!state.message_open && state.status == 0 && state.send_count <= state.send_capacity - 3) {
    std::uint8_t* at = state.send_buffer + state.send_count;
    state.message_start = state.send_count;
    state.message_open = true;
    state.send_count += 3;  // the length, set by FIELD_END, and the id
    at[2] = static_cast<std::uint8_t>(id);
  } else {
    send_begin(s, id);
  }
}
inline void put(Stream* s, FieldByte, int value) {
  if (std::uint8_t* at = claim_fast(s, 1)) {
    at[0] = static_cast<std::uint8_t>(value);
  } else {
    send_byte(s, value);
  }
}
inline void put(Stream* s, FieldWord, int value) {
  if (std::uint8_t* at = claim_fast(s, 2)) {
    put_word(at, static_cast<std::uint32_t>(value));
  } else {
    send_word(s, value);
  }
}
inline void put(Stream* s, FieldLong, std::int64_t value) {
  if (std::uint8_t* at = claim_fast(s, 4)) {
    put_long(at, static_cast<std::uint32_t>(value));
  } else {
    send_long(s, static_cast<std::uint32_t>(value));
  }
}
inline void put(Stream* s, FieldRaw4, std::uint32_t value) {
  if (std::uint8_t* at = claim_fast(s, 4)) {
    std::memcpy(at, &value, 4);  // memory order, unchanged
  } else {
    send_raw4(s, value);
  }
}
inline void put(Stream* s, FieldWordLe, int value) {
  if (std::uint8_t* at = claim_fast(s, 2)) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
  } else {
    send_word_le(s, value);
  }
}

inline void take(Stream* s, FieldByte, std::uint8_t* value) {
  if (const std::uint8_t* at = take_fast(s, 1)) {
    if (value != nullptr) *value = at[0];
  } else {
    receive_byte(s, value);
  }
}
inline void take(Stream* s, FieldWord, std::uint16_t* value) {
  if (const std::uint8_t* at = take_fast(s, 2)) {
    if (value != nullptr) *value = word_at(at);
  } else {
    receive_word(s, value);
  }
}
inline void take(Stream* s, FieldLong, std::uint32_t* value) {
  if (const std::uint8_t* at = take_fast(s, 4)) {
    if (value != nullptr) *value = long_at(at);
  } else {
    receive_long(s, value);
  }
}
inline void take(Stream* s, FieldLong, std::int32_t* value) {
  if (const std::uint8_t* at = take_fast(s, 4)) {
    if (value != nullptr) *value = static_cast<std::int32_t>(long_at(at));
  } else {
    receive_long(s, reinterpret_cast<std::uint32_t*>(value));
  }
}
inline void take(Stream* s, FieldRaw4, std::uint8_t (&bytes)[4]) {
  if (const std::uint8_t* at = take_fast(s, 4)) {
    std::memcpy(bytes, at, 4);  // arrival order
  } else {
    receive_raw4(s, bytes);
  }
}
inline void take(Stream* s, FieldRaw4, std::uint32_t* value) {
  if (const std::uint8_t* at = take_fast(s, 4)) {
    if (value != nullptr) std::memcpy(value, at, 4);  // arrival order
  } else {
    receive_raw4(s, reinterpret_cast<std::uint8_t*>(value));
  }
}

// The other fields: their slow steps alone.
inline void put(Stream* s, FieldCipher, const std::uint8_t* key, int length) {
  send_cipher(s, key, length);
}
inline void put(Stream* s, FieldBytes, int count, const void* bytes) {
  send_bytes(s, count, bytes);
}
inline void put(Stream* s, FieldWords, int count, const std::uint16_t* values) {
  send_words(s, count, values);
}
inline void put(Stream* s, FieldByteString, int byte, const char* text) {
  send_byte_string(s, byte, text);
}
inline void put(Stream* s, FieldString, const char* text) {
  send_string(s, text);
}
inline void put(Stream* s, FieldLongString, const char* text) {
  send_long_string(s, text);
}
inline void put(Stream* s, FieldData, int length, const void* bytes) {
  send_data(s, length, bytes);
}

inline void take(Stream* s, FieldBytes, int count, std::uint8_t* bytes) {
  receive_bytes(s, count, bytes);
}
inline void take(Stream* s, FieldWords, int count, std::uint16_t* values) {
  receive_words(s, count, values);
}
template <std::size_t N>
void take(Stream* s, FieldString, char (&buffer)[N]) {
  static_assert(N >= 256, "a string field needs a buffer of 256 bytes");
  receive_string(s, buffer, N);
}
template <std::size_t N>
void take(Stream* s, FieldLongString, char (&buffer)[N]) {
  static_assert(N >= 1, "a long string field needs room for its terminator");
  receive_long_string(s, buffer, N);
}
template <std::size_t N>
void take(Stream* s, FieldData, int* length, std::uint8_t (&buffer)[N]) {
  static_assert(N >= 255, "a data field needs a buffer of 255 bytes");
  receive_data(s, length, buffer);
}
inline void take(Stream* s, FieldRemaining, int* count) {
  receive_remaining(s, count);
}
inline void take(Stream* s, FieldSkip, int count) {
  receive_skip(s, count);
}

// The two codes that end a list, and give what the list returns.
inline int put(Stream* s, FieldStatus) {
  return codec(s).status == 0 ? 0 : send_status(s);
}
inline int put(Stream* s, FieldEnd) {
  return send_end(s);
}
inline int take(Stream* s, FieldStatus) {
  return codec(s).status;
}
inline int take(Stream* s, FieldEnd) {
  return receive_end(s);
}

// ---- List walkers ----------------------------------------------------------
// A walker takes the next field code and the two items after it (no code
// takes more arguments), hands the code's step as many of them as the code
// takes, and walks on from the item after them, until FIELD_END or
// FIELD_STATUS, whose step gives what the list returns. Near the end of a
// list, where fewer than two items follow, the missing ones are NoMoreItems;
// a field that would take one as its argument does not compile.
struct NoMoreItems {};

template <typename T>
inline constexpr bool is_no_more_items = std::is_same_v<std::remove_cvref_t<T>, NoMoreItems>;

template <StreamField Field, typename A = NoMoreItems, typename B = NoMoreItems, typename... Rest>
int send(Stream* s, Field field, A&& a = A{}, B&& b = B{}, Rest&&... rest) {
  if constexpr (Field::ends_list) {
    static_assert(is_no_more_items<A> && is_no_more_items<B> && sizeof...(Rest) == 0,
                  "FIELD_END and FIELD_STATUS end a list");
    return put(s, field);
  } else if constexpr (Field::send_arguments == 0) {  // a code that only receiving uses
    return send(s, std::forward<A>(a), std::forward<B>(b), std::forward<Rest>(rest)...);
  } else if constexpr (Field::send_arguments == 1) {
    static_assert(!is_no_more_items<A>, "a field is missing an argument");
    put(s, field, std::forward<A>(a));
    return send(s, std::forward<B>(b), std::forward<Rest>(rest)...);
  } else {
    static_assert(Field::send_arguments == 2, "a field takes at most two arguments");
    static_assert(!is_no_more_items<B>, "a field is missing an argument");
    put(s, field, std::forward<A>(a), std::forward<B>(b));
    return send(s, std::forward<Rest>(rest)...);
  }
}

template <StreamField Field, typename A = NoMoreItems, typename B = NoMoreItems, typename... Rest>
int receive(Stream* s, Field field, A&& a = A{}, B&& b = B{}, Rest&&... rest) {
  if constexpr (Field::ends_list) {
    static_assert(is_no_more_items<A> && is_no_more_items<B> && sizeof...(Rest) == 0,
                  "FIELD_END and FIELD_STATUS end a list");
    return take(s, field);
  } else if constexpr (Field::receive_arguments == 0) {  // a code that only sending uses
    return receive(s, std::forward<A>(a), std::forward<B>(b), std::forward<Rest>(rest)...);
  } else if constexpr (Field::receive_arguments == 1) {
    static_assert(!is_no_more_items<A>, "a field is missing an argument");
    take(s, field, std::forward<A>(a));
    return receive(s, std::forward<B>(b), std::forward<Rest>(rest)...);
  } else {
    static_assert(Field::receive_arguments == 2, "a field takes at most two arguments");
    static_assert(!is_no_more_items<B>, "a field is missing an argument");
    take(s, field, std::forward<A>(a), std::forward<B>(b));
    return receive(s, std::forward<Rest>(rest)...);
  }
}

}  // namespace stream_fields

// Builds and sends one message, or (with FIELD_STATUS) only runs the fields.
// Returns RC_NO_STREAM for nullptr, else the stream status at the list's end.
// A message whose building fails never reaches the channel.
template <typename... Fields>
int stream_send(Stream* stream, Fields&&... fields) {
  if (stream == nullptr) return RC_NO_STREAM;
  return stream_fields::send(stream, std::forward<Fields>(fields)...);
}

// Reads the fields of the current message. Returns RC_NO_STREAM for nullptr,
// else the stream status at the list's end.
template <typename... Fields>
int stream_receive(Stream* stream, Fields&&... fields) {
  if (stream == nullptr) return RC_NO_STREAM;
  return stream_fields::receive(stream, std::forward<Fields>(fields)...);
}

}  // namespace orbilo
