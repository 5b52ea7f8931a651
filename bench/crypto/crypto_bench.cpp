// Throughput of our SHA-256, ChaCha20-Poly1305 seal/open and X25519, accelerated and portable,
// side by side with OpenSSL in the same run. After the usual table a short summary prints
// MB/s and the ratio of each of ours to OpenSSL.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "crypto/aead.h"
#include "crypto/cpu.h"
#include "crypto/sha256.h"
#include "crypto/x25519.h"

namespace {

constexpr size_t kMessage = 64 * 1024;

std::vector<uint8_t> filled(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; i++) v[i] = uint8_t(seed + i * 131);
  return v;
}

// Runs the body with the portable code forced for the benchmark's duration when asked.
struct PathScope {
  explicit PathScope(bool portable) { crypto_force_portable(portable); }
  ~PathScope() { crypto_force_portable(false); }
};

void sha256_ours(benchmark::State& state, bool portable) {
  PathScope path(portable);
  auto msg = filled(kMessage, 1);
  uint8_t out[32];
  for (auto _ : state) {
    sha256(msg.data(), msg.size(), out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kMessage));
}

void sha256_openssl(benchmark::State& state) {
  auto msg = filled(kMessage, 1);
  uint8_t out[32];
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  for (auto _ : state) {
    unsigned int n = 0;
    EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
    EVP_DigestUpdate(ctx, msg.data(), msg.size());
    EVP_DigestFinal_ex(ctx, out, &n);
    benchmark::DoNotOptimize(out);
  }
  EVP_MD_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kMessage));
}

const uint8_t kKey[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                          17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
const uint8_t kNonce[12] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};

void seal_ours(benchmark::State& state, bool portable) {
  PathScope path(portable);
  auto buf = filled(kMessage + 16, 2);
  for (auto _ : state) {
    aead_seal(kKey, kNonce, nullptr, 0, buf.data(), kMessage, buf.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kMessage));
}

void open_ours(benchmark::State& state, bool portable) {
  PathScope path(portable);
  auto plain = filled(kMessage, 3);
  std::vector<uint8_t> sealed(kMessage + 16), out(kMessage);
  aead_seal(kKey, kNonce, nullptr, 0, plain.data(), kMessage, sealed.data());
  for (auto _ : state) {
    if (aead_open(kKey, kNonce, nullptr, 0, sealed.data(), kMessage, out.data()) != 0)
      state.SkipWithError("open failed");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kMessage));
}

// One whole EVP seal or open per message, as a protocol would use it.
void aead_openssl(benchmark::State& state, bool seal) {
  auto plain = filled(kMessage, 4);
  std::vector<uint8_t> buf(kMessage + 16), out(kMessage);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  EVP_EncryptInit_ex(ctx, EVP_chacha20_poly1305(), nullptr, kKey, kNonce);
  EVP_EncryptUpdate(ctx, buf.data(), &n, plain.data(), int(kMessage));
  EVP_EncryptFinal_ex(ctx, buf.data() + kMessage, &n);
  EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 16, buf.data() + kMessage);
  for (auto _ : state) {
    if (seal) {
      EVP_EncryptInit_ex(ctx, nullptr, nullptr, kKey, kNonce);
      EVP_EncryptUpdate(ctx, buf.data(), &n, plain.data(), int(kMessage));
      EVP_EncryptFinal_ex(ctx, buf.data() + kMessage, &n);
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 16, buf.data() + kMessage);
    } else {
      EVP_DecryptInit_ex(ctx, EVP_chacha20_poly1305(), nullptr, kKey, kNonce);
      EVP_DecryptUpdate(ctx, out.data(), &n, buf.data(), int(kMessage));
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, 16, buf.data() + kMessage);
      if (EVP_DecryptFinal_ex(ctx, out.data() + n, &n) != 1) state.SkipWithError("open failed");
    }
    benchmark::ClobberMemory();
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kMessage));
}

const uint8_t kPeer[32] = {0xe6, 0xdb, 0x68, 0x67, 0x58, 0x30, 0x30, 0xdb, 0x35, 0x94, 0xc1,
                           0xa4, 0x24, 0xb1, 0x5f, 0x7c, 0x72, 0x66, 0x24, 0xec, 0x26, 0xb3,
                           0x35, 0x3b, 0x10, 0xa9, 0x03, 0xa6, 0xd0, 0xab, 0x1c, 0x4c};

void x25519_ours(benchmark::State& state, bool portable) {
  PathScope path(portable);
  uint8_t out[32];
  for (auto _ : state) {
    x25519(out, kKey, kPeer);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
}

void x25519_openssl(benchmark::State& state) {
  EVP_PKEY* priv = EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, kKey, 32);
  EVP_PKEY* peer = EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, kPeer, 32);
  uint8_t out[32];
  for (auto _ : state) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(priv, nullptr);
    size_t n = 32;
    EVP_PKEY_derive_init(ctx);
    EVP_PKEY_derive_set_peer(ctx, peer);
    EVP_PKEY_derive(ctx, out, &n);
    EVP_PKEY_CTX_free(ctx);
    benchmark::DoNotOptimize(out);
  }
  EVP_PKEY_free(priv);
  EVP_PKEY_free(peer);
  state.SetItemsProcessed(int64_t(state.iterations()));
}

// Collects every run's rate to print the comparison after the normal table.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // Single runs count as they are; with --benchmark_repetitions the median wins.
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if (r.run_type != Run::RT_Iteration && !median) continue;
      std::string name = r.run_name.str();
      if (!median && medians_.count(name)) continue;
      if (median) medians_.insert(name);
      auto bytes = r.counters.find("bytes_per_second");
      auto items = r.counters.find("items_per_second");
      if (bytes != r.counters.end()) rate_[name] = bytes->second.value / 1e6;
      if (items != r.counters.end()) rate_[name] = items->second.value;
    }
  }
  void Summarise() const {
    std::printf("\nkernels: %s\n", crypto_kernels_name());
    std::printf("%-12s %14s %14s %14s %10s %10s\n", "operation", "ours", "ours portable",
                "OpenSSL", "ours/ossl", "port/ossl");
    for (const char* op : {"sha256", "aead_seal", "aead_open"}) {
      double ours = get(std::string(op) + "/ours"), port = get(std::string(op) + "/portable");
      double ossl = get(std::string(op) + "/openssl");
      std::printf("%-12s %9.0f MB/s %9.0f MB/s %9.0f MB/s %10.2f %10.2f\n", op, ours, port, ossl,
                  ossl > 0 ? ours / ossl : 0, ossl > 0 ? port / ossl : 0);
    }
    double ours = get("x25519/ours"), port = get("x25519/portable");
    double ossl = get("x25519/openssl");
    std::printf("%-12s %9.0f op/s %9.0f op/s %9.0f op/s %10.2f %10.2f\n", "x25519", ours, port,
                ossl, ossl > 0 ? ours / ossl : 0, ossl > 0 ? port / ossl : 0);
  }

private:
  double get(const std::string& name) const {
    auto it = rate_.find(name);
    return it == rate_.end() ? 0 : it->second;
  }
  std::map<std::string, double> rate_;
  std::set<std::string> medians_;
};

}  // namespace

BENCHMARK_CAPTURE(sha256_ours, ours, false)->Name("sha256/ours");
BENCHMARK_CAPTURE(sha256_ours, portable, true)->Name("sha256/portable");
BENCHMARK(sha256_openssl)->Name("sha256/openssl");
BENCHMARK_CAPTURE(seal_ours, ours, false)->Name("aead_seal/ours");
BENCHMARK_CAPTURE(seal_ours, portable, true)->Name("aead_seal/portable");
BENCHMARK_CAPTURE(aead_openssl, seal, true)->Name("aead_seal/openssl");
BENCHMARK_CAPTURE(open_ours, ours, false)->Name("aead_open/ours");
BENCHMARK_CAPTURE(open_ours, portable, true)->Name("aead_open/portable");
BENCHMARK_CAPTURE(aead_openssl, open, false)->Name("aead_open/openssl");
BENCHMARK_CAPTURE(x25519_ours, ours, false)->Name("x25519/ours");
BENCHMARK_CAPTURE(x25519_ours, portable, true)->Name("x25519/portable");
BENCHMARK(x25519_openssl)->Name("x25519/openssl");

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.Summarise();
  benchmark::Shutdown();
  return 0;
}
