// RC4 throughput on 8 KiB buffers, ours beside OpenSSL's (from its legacy
// provider), measured in the same run so that the ratio holds on any machine.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "net/rc4.h"

using namespace orbilo;

namespace {

constexpr std::size_t kBufferSize = 8192;
constexpr std::uint8_t kKey[16] = {0x9f, 0x2b, 0x39, 0x4a, 0xa9, 0x96, 0x5d, 0x82,
                                   0xc5, 0x7b, 0xd5, 0x1f, 0x64, 0x16, 0x41, 0x5d};
constexpr auto kRoundTime = std::chrono::milliseconds(100);
constexpr int kRounds = 15;

using Crypt = std::function<void(std::uint8_t*, std::size_t)>;

// Bytes a second of one cipher over the buffer, repeated for one round's time.
double bytes_per_second(const Crypt& crypt, std::vector<std::uint8_t>& buffer) {
  std::size_t bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  auto now = start;
  while (now - start < kRoundTime) {
    for (int repeat = 0; repeat < 16; ++repeat) {
      crypt(buffer.data(), buffer.size());
      benchmark::ClobberMemory();
    }
    bytes += 16 * buffer.size();
    now = std::chrono::steady_clock::now();
  }
  return static_cast<double>(bytes) / std::chrono::duration<double>(now - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// OpenSSL's RC4, keyed like ours. Its legacy provider holds RC4 and must be
// loaded by name; the default provider is loaded beside it.
class OpenSslRc4 {
 public:
  OpenSslRc4() {
    legacy_ = OSSL_PROVIDER_load(nullptr, "legacy");
    default_ = OSSL_PROVIDER_load(nullptr, "default");
    cipher_ = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
    context_ = EVP_CIPHER_CTX_new();
    ready_ = legacy_ != nullptr && cipher_ != nullptr && context_ != nullptr &&
             EVP_EncryptInit_ex2(context_, cipher_, kKey, nullptr, nullptr) == 1;
  }
  ~OpenSslRc4() {
    EVP_CIPHER_CTX_free(context_);
    EVP_CIPHER_free(cipher_);
    if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
    if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
  }
  OpenSslRc4(const OpenSslRc4&) = delete;
  OpenSslRc4& operator=(const OpenSslRc4&) = delete;

  bool ready() const { return ready_; }

  void crypt(std::uint8_t* bytes, std::size_t length) {
    int written = 0;
    if (EVP_EncryptUpdate(context_, bytes, &written, bytes, static_cast<int>(length)) != 1) {
      ready_ = false;
    }
  }

 private:
  OSSL_PROVIDER* legacy_ = nullptr;
  OSSL_PROVIDER* default_ = nullptr;
  EVP_CIPHER* cipher_ = nullptr;
  EVP_CIPHER_CTX* context_ = nullptr;
  bool ready_ = false;
};

// Rounds of ours and OpenSSL's alternate, and the figures are medians, so that
// a busy neighbour on the machine slows both sides alike and weighs little.
void BM_Rc4Throughput(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(kBufferSize);
  for (std::size_t k = 0; k < buffer.size(); ++k) buffer[k] = static_cast<std::uint8_t>(k * 7);
  Rc4State* ours = rc4_create(kKey, sizeof kKey);
  OpenSslRc4 theirs;
  if (ours == nullptr || !theirs.ready()) {
    rc4_destroy(ours);
    state.SkipWithError(ours == nullptr ? "rc4_create failed" : "OpenSSL's RC4 is not available");
    return;
  }
  const Crypt our_crypt = [&](std::uint8_t* bytes, std::size_t length) {
    rc4_crypt(ours, bytes, length);
  };
  const Crypt their_crypt = [&](std::uint8_t* bytes, std::size_t length) {
    theirs.crypt(bytes, length);
  };
  std::vector<double> our_rates;
  std::vector<double> their_rates;
  std::vector<double> ratios;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      our_rates.push_back(bytes_per_second(our_crypt, buffer));
      their_rates.push_back(bytes_per_second(their_crypt, buffer));
      ratios.push_back(our_rates.back() / their_rates.back());
    }
  }
  rc4_destroy(ours);
  if (!theirs.ready()) {
    state.SkipWithError("OpenSSL's RC4 failed");
    return;
  }
  state.counters["figure:rc4_mb_per_s"] = median(our_rates) / 1e6;
  state.counters["openssl_mb_per_s"] = median(their_rates) / 1e6;
  state.counters["figure:rc4_vs_openssl"] = median(ratios);
}
BENCHMARK(BM_Rc4Throughput)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
