// trust.txt as anyone with access to the data folder may leave it: any bytes must open into
// at most 256 records with terminated names, and the file the store writes back must load
// into the same records (names with TAB, LF and CR turned into spaces).

#include <cstring>
#include <vector>

#include "support/check.h"
#include "support/scratch.h"
#include "trust/trust_store.h"

namespace {

std::vector<TrustRecord> records_of(TrustStore* store) {
  std::vector<TrustRecord> out(size_t(trust_store_count(store)));
  for (size_t i = 0; i < out.size(); i++) FUZZ_CHECK(trust_store_get(store, int(i), &out[i]));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  scratch_clear();
  std::string path = scratch_write("trust.txt", data, size);
  TrustStore* store = trust_store_open(path.c_str());
  FUZZ_CHECK(store != nullptr);
  std::vector<TrustRecord> loaded = records_of(store);
  FUZZ_CHECK(loaded.size() <= size_t(kTrustCapacity));
  for (const TrustRecord& r : loaded) {
    size_t n = strnlen(r.name, sizeof r.name);
    FUZZ_CHECK(n < sizeof r.name);
    FUZZ_CHECK(std::memchr(r.name, '\n', n) == nullptr);
    FUZZ_CHECK(n == 0 || r.name[n - 1] != '\r');
  }
  if (loaded.empty()) {
    trust_store_close(store);
    return 0;
  }
  // Putting the first record back unchanged rewrites the whole file.
  trust_store_put(store, loaded[0].public_key, loaded[0].name, loaded[0].accept_flag);
  trust_store_close(store);

  TrustStore* again = trust_store_open(path.c_str());
  FUZZ_CHECK(again != nullptr);
  std::vector<TrustRecord> reloaded = records_of(again);
  trust_store_close(again);
  FUZZ_CHECK(reloaded.size() == loaded.size());
  for (size_t i = 0; i < loaded.size(); i++) {
    const TrustRecord& a = loaded[i];
    const TrustRecord& b = reloaded[i];
    FUZZ_CHECK(std::memcmp(a.public_key, b.public_key, 32) == 0);
    FUZZ_CHECK(a.accept_flag == b.accept_flag && a.added_ms == b.added_ms);
    char expected[64];
    std::memcpy(expected, a.name, sizeof expected);
    for (char* c = expected; *c; c++)
      if (*c == '\t' || *c == '\n' || *c == '\r') *c = ' ';
    FUZZ_CHECK(std::strcmp(expected, b.name) == 0);
  }
  return 0;
}
