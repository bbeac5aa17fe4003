// RC4. The permutation is held in 32-bit words, so that no load or store of it
// is a partial-register operation. The generator runs ahead of its users: it
// makes the keystream in blocks, and rc4_byte, rc4_crypt and rc4_skip take the
// block's bytes in order before they let the generator make more, so every
// byte is the one that stepping the generator once per byte would give. Short
// pieces, such as the messages of a stream, are then one exclusive or with
// the block. The blocks, and the long buffers that go straight through the
// generator, are made in 16-byte runs with a fast path on x86-64 (see
// run_steps below).
#include "net/rc4.h"

#include "net/memory.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <emmintrin.h>

namespace orbilo {
#define RC4_FAST_RUNS 1
#endif

namespace {

// The keystream made ahead: sixteen runs of the fast path.
constexpr std::size_t kAheadSize = 256;

}  // namespace

struct Rc4State {
  std::uint32_t i;  // the generator, which stands after the bytes made ahead
  std::uint32_t j;
  std::uint32_t ahead_next;  // the next unused byte of ahead
  std::uint32_t ahead_end;   // the bytes made in ahead
  std::uint32_t s[256];
  std::uint8_t ahead[kAheadSize];
};

namespace {

// One step of the generator: advances i and j, swaps S[i] and S[j], and
// returns the keystream byte.
inline std::uint32_t rc4_next(std::uint32_t* s, std::uint32_t& i, std::uint32_t& j) {
  i = (i + 1) & 0xff;
  const std::uint32_t si = s[i];
  j = (j + si) & 0xff;
  const std::uint32_t sj = s[j];
  s[i] = sj;
  s[j] = si;
  return s[(si + sj) & 0xff];
}

#if defined(RC4_FAST_RUNS)
// The fast path works in runs of 16 bytes whose values of i lie in one aligned
// 16-word stretch of the table, so i needs no arithmetic of its own. Per byte:
// - j and S[i] + S[j] are added as bytes in registers whose upper bits stay
//   zero, so they index the table without a zero extension (a compiler cannot
//   be told this, hence the assembly);
// - the next S[i] is loaded before the swap is stored, and the rare case in
//   which the swap wrote that very word (j landed on the next i) is repaired
//   out of line. The processor then never guesses whether a load of S[i]
//   depends on the store before it, and j's chain stays one addition a byte;
// - the keystream byte goes straight from the table into a 16-bit lane of a
//   vector register (table words are below 256, so the lane's upper byte is
//   zero); even bytes fill one register, odd bytes another, and one shift
//   joins them: the run's keystream, which one exclusive or combines with the
//   buffer, or which is stored as it is when a block is made ahead.
constexpr std::size_t kRunLength = 16;

// clang-format off
// Step t of a run, with S[i] in register si; loads the next S[i] into next.
#define RC4_RUN_STEP(t, half, offset, si, next, lanes)  \
  "addb %b[" si "], %b[j]\n\t"                          \
  "incb %b[next_i]\n\t"                                 \
  "movl (%[s],%[j],4), %k[sj]\n\t"                      \
  "movl (%[s],%[next_i],4), %k[" next "]\n\t"           \
  "movl %k[" si "], (%[s],%[j],4)\n\t"                  \
  "movl %k[sj], " offset "(%[run])\n\t"                 \
  "cmpq %[next_i], %[j]\n\t"                            \
  "je .Lrc4_repair" #t "_%=\n"                          \
  ".Lrc4_back" #t "_%=:\n\t"                            \
  "addb %b[" si "], %b[sj]\n\t"                         \
  "pinsrw $" #half ", (%[s],%[sj],4), %[" lanes "]\n\t"

// j landed on the next i: the swap stored S[i] there.
#define RC4_RUN_REPAIR(t, si, next)      \
  ".Lrc4_repair" #t "_%=:\n\t"           \
  "movq %[" si "], %[" next "]\n\t"      \
  "jmp .Lrc4_back" #t "_%=\n"
// clang-format on

// Runs whole runs over buffer[0..length) from the run that starts at the
// state's i + 1 (a multiple of 16): combines the keystream with the buffer, or
// (kStore) stores the keystream itself. Returns the bytes done.
template <bool kStore>
std::size_t run_steps(Rc4State* state, std::uint8_t* buffer, std::size_t length) {
  std::uint32_t* s = state->s;
  std::uint64_t j = state->j;
  std::uint64_t next_i = (state->i + 1) & 0xff;  // the run's first i until the first step
  std::uint64_t si_even = s[next_i];
  std::uint64_t si_odd;
  std::uint64_t sj;
  std::size_t done = 0;
  for (; length - done >= kRunLength; done += kRunLength) {
    std::uint32_t* run = s + next_i;
    __m128i even_lanes;
    __m128i odd_lanes;
    asm(RC4_RUN_STEP(0, 0, "0", "a", "b", "even")                  //
        RC4_RUN_STEP(1, 0, "4", "b", "a", "odd")                   //
        RC4_RUN_STEP(2, 1, "8", "a", "b", "even")                  //
        RC4_RUN_STEP(3, 1, "12", "b", "a", "odd")                  //
        RC4_RUN_STEP(4, 2, "16", "a", "b", "even")                 //
        RC4_RUN_STEP(5, 2, "20", "b", "a", "odd")                  //
        RC4_RUN_STEP(6, 3, "24", "a", "b", "even")                 //
        RC4_RUN_STEP(7, 3, "28", "b", "a", "odd")                  //
        RC4_RUN_STEP(8, 4, "32", "a", "b", "even")                 //
        RC4_RUN_STEP(9, 4, "36", "b", "a", "odd")                  //
        RC4_RUN_STEP(10, 5, "40", "a", "b", "even")                //
        RC4_RUN_STEP(11, 5, "44", "b", "a", "odd")                 //
        RC4_RUN_STEP(12, 6, "48", "a", "b", "even")                //
        RC4_RUN_STEP(13, 6, "52", "b", "a", "odd")                 //
        RC4_RUN_STEP(14, 7, "56", "a", "b", "even")                //
        RC4_RUN_STEP(15, 7, "60", "b", "a", "odd")                 //
        "jmp .Lrc4_done_%=\n"                                      //
        RC4_RUN_REPAIR(0, "a", "b") RC4_RUN_REPAIR(1, "b", "a")    //
        RC4_RUN_REPAIR(2, "a", "b") RC4_RUN_REPAIR(3, "b", "a")    //
        RC4_RUN_REPAIR(4, "a", "b") RC4_RUN_REPAIR(5, "b", "a")    //
        RC4_RUN_REPAIR(6, "a", "b") RC4_RUN_REPAIR(7, "b", "a")    //
        RC4_RUN_REPAIR(8, "a", "b") RC4_RUN_REPAIR(9, "b", "a")    //
        RC4_RUN_REPAIR(10, "a", "b") RC4_RUN_REPAIR(11, "b", "a")  //
        RC4_RUN_REPAIR(12, "a", "b") RC4_RUN_REPAIR(13, "b", "a")  //
        RC4_RUN_REPAIR(14, "a", "b") RC4_RUN_REPAIR(15, "b", "a")  //
        ".Lrc4_done_%=:\n"
        : [j] "+r"(j), [next_i] "+r"(next_i), [a] "+r"(si_even), [b] "=&r"(si_odd), [sj] "=&r"(sj),
          [even] "=&x"(even_lanes), [odd] "=&x"(odd_lanes),
          "+m"(*reinterpret_cast<std::uint32_t(*)[256]>(s))
        : [s] "r"(s), [run] "r"(run)
        : "cc");
    const __m128i keystream = _mm_or_si128(even_lanes, _mm_slli_epi16(odd_lanes, 8));
    auto* block = reinterpret_cast<__m128i*>(buffer + done);
    if constexpr (kStore) {
      _mm_storeu_si128(block, keystream);
    } else {
      _mm_storeu_si128(block, _mm_xor_si128(_mm_loadu_si128(block), keystream));
    }
  }
  state->i = static_cast<std::uint32_t>((next_i - 1) & 0xff);
  state->j = static_cast<std::uint32_t>(j);
  return done;
}

#undef RC4_RUN_STEP
#undef RC4_RUN_REPAIR
#endif

// Makes the next block of keystream ahead; called only when the last block is
// used up. On the fast path the first block after keying or skipping starts
// with single steps up to a run's start and so holds a little less; every
// later one is whole runs.
void make_ahead(Rc4State* state) {
  std::uint32_t* s = state->s;
  std::uint32_t i = state->i;
  std::uint32_t j = state->j;
  std::size_t made = 0;
#if defined(RC4_FAST_RUNS)
  for (; (i & (kRunLength - 1)) != kRunLength - 1; ++made) {
    state->ahead[made] = static_cast<std::uint8_t>(rc4_next(s, i, j));
  }
  state->i = i;
  state->j = j;
  made += run_steps<true>(state, state->ahead + made, kAheadSize - made);
#else
  for (; made < kAheadSize; ++made)
    state->ahead[made] = static_cast<std::uint8_t>(rc4_next(s, i, j));
  state->i = i;
  state->j = j;
#endif
  state->ahead_next = 0;
  state->ahead_end = static_cast<std::uint32_t>(made);
}

// Combines up to length bytes of buffer with the unused keystream made ahead;
// returns the bytes done.
inline std::size_t combine_ahead(Rc4State* state, std::uint8_t* buffer, std::size_t length) {
  std::size_t count = state->ahead_end - state->ahead_next;
  if (count > length) count = length;
  const std::uint8_t* keystream = state->ahead + state->ahead_next;
  for (std::size_t k = 0; k < count; ++k) buffer[k] ^= keystream[k];
  state->ahead_next += static_cast<std::uint32_t>(count);
  return count;
}

}  // namespace

Rc4State* rc4_create(const std::uint8_t* key, int length) {
  if (key == nullptr || length <= 0) return nullptr;
  auto* state = static_cast<Rc4State*>(mem_alloc(sizeof(Rc4State)));
  if (state == nullptr) return nullptr;
  state->i = 0;
  state->j = 0;
  state->ahead_next = 0;
  state->ahead_end = 0;
  for (std::uint32_t k = 0; k < 256; ++k) state->s[k] = k;
  std::uint32_t j = 0;
  int key_index = 0;
  for (std::uint32_t k = 0; k < 256; ++k) {
    const std::uint32_t sk = state->s[k];
    j = (j + sk + key[key_index]) & 0xff;
    state->s[k] = state->s[j];
    state->s[j] = sk;
    if (++key_index == length) key_index = 0;
  }
  return state;
}

void rc4_destroy(Rc4State* state) {
  mem_free(state);
}

std::uint8_t rc4_byte(Rc4State* state, std::uint8_t byte) {
  if (state->ahead_next == state->ahead_end) make_ahead(state);
  return static_cast<std::uint8_t>(byte ^ state->ahead[state->ahead_next++]);
}

void rc4_skip(Rc4State* state, std::uint32_t count) {
  std::uint32_t left = count & 0xffff;
  for (;;) {
    std::uint32_t unused = state->ahead_end - state->ahead_next;
    std::uint32_t dropped = left < unused ? left : unused;
    state->ahead_next += dropped;
    left -= dropped;
    if (left == 0) return;
    make_ahead(state);
  }
}

void rc4_crypt(Rc4State* state, std::uint8_t* buffer, std::size_t length) {
  if (buffer == nullptr) return;
  std::size_t done = 0;
  for (;;) {
    done += combine_ahead(state, buffer + done, length - done);
    if (done == length) return;
#if defined(RC4_FAST_RUNS)
    // The block is used up and the generator stands at a run's start: a long
    // rest goes through the generator straight, in whole runs.
    if (length - done >= kAheadSize && (state->i & (kRunLength - 1)) == kRunLength - 1) {
      done += run_steps<false>(state, buffer + done, length - done);
      if (done == length) return;
    }
#endif
    make_ahead(state);
  }
}

}  // namespace orbilo
