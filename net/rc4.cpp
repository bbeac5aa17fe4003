// RC4. The permutation is held in 32-bit words, so that no load or store of it
// is a partial-register operation. rc4_byte and rc4_skip step the generator
// one byte at a time; rc4_crypt, which carries every message of a stream, has
// a fast path on x86-64 (see run_crypt below).
#include "net/rc4.h"

#include "net/memory.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <emmintrin.h>
#define RC4_FAST_RUNS 1
#endif

struct Rc4State {
  std::uint32_t i;
  std::uint32_t j;
  std::uint32_t s[256];
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
//   zero); even bytes fill one register, odd bytes another, and one shift and
//   one exclusive or combine the run with the buffer.
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

// Enciphers whole runs of buffer[0..length) from the run that starts at the
// state's i + 1 (a multiple of 16); returns the bytes done.
std::size_t run_crypt(Rc4State* state, std::uint8_t* buffer, std::size_t length) {
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
    _mm_storeu_si128(block, _mm_xor_si128(_mm_loadu_si128(block), keystream));
  }
  state->i = static_cast<std::uint32_t>((next_i - 1) & 0xff);
  state->j = static_cast<std::uint32_t>(j);
  return done;
}

#undef RC4_RUN_STEP
#undef RC4_RUN_REPAIR
#endif

}  // namespace

Rc4State* rc4_create(const std::uint8_t* key, int length) {
  if (key == nullptr || length <= 0) return nullptr;
  auto* state = static_cast<Rc4State*>(mem_alloc(sizeof(Rc4State)));
  if (state == nullptr) return nullptr;
  state->i = 0;
  state->j = 0;
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
  std::uint32_t i = state->i;
  std::uint32_t j = state->j;
  const std::uint32_t key = rc4_next(state->s, i, j);
  state->i = i;
  state->j = j;
  return static_cast<std::uint8_t>(byte ^ key);
}

void rc4_skip(Rc4State* state, std::uint32_t count) {
  std::uint32_t i = state->i;
  std::uint32_t j = state->j;
  for (std::uint32_t n = count & 0xffff; n > 0; --n) rc4_next(state->s, i, j);
  state->i = i;
  state->j = j;
}

void rc4_crypt(Rc4State* state, std::uint8_t* buffer, std::size_t length) {
  if (buffer == nullptr) return;
  std::uint32_t* s = state->s;
  std::size_t k = 0;
#if defined(RC4_FAST_RUNS)
  // Single steps until the coming i starts a run, then whole runs.
  for (; k < length && (state->i & (kRunLength - 1)) != kRunLength - 1; ++k) {
    buffer[k] = rc4_byte(state, buffer[k]);
  }
  k += run_crypt(state, buffer + k, length - k);
#endif
  std::uint32_t i = state->i;
  std::uint32_t j = state->j;
  for (; k < length; ++k) buffer[k] = static_cast<std::uint8_t>(buffer[k] ^ rc4_next(s, i, j));
  state->i = i;
  state->j = j;
}
