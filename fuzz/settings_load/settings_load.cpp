// config.ini as anyone with access to the data folder may leave it: any bytes must load into
// a record with terminated texts and 0/1 flags, and what we save from that record must load
// back to the same record.

#include <cstring>

#include "app/settings.h"
#include "support/check.h"
#include "support/scratch.h"

namespace {

void check_record(const AgentSettings& s) {
  FUZZ_CHECK(std::memchr(s.device_name, 0, sizeof s.device_name) != nullptr);
  FUZZ_CHECK(std::memchr(s.inbox_dir, 0, sizeof s.inbox_dir) != nullptr);
  for (int flag : {s.auto_accept, s.first_run_done, s.intro_shown}) FUZZ_CHECK(flag == 0 || flag == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = scratch_write("config.ini", data, size);
  AgentSettings s;
  std::memset(&s, 0x5a, sizeof s);
  FUZZ_CHECK(settings_load(path.c_str(), &s) == 0);
  check_record(s);

  std::string again = scratch_root() + "/config2.ini";
  FUZZ_CHECK(settings_save(again.c_str(), &s) == 0);
  AgentSettings t;
  FUZZ_CHECK(settings_load(again.c_str(), &t) == 0);
  FUZZ_CHECK(std::strcmp(s.device_name, t.device_name) == 0);
  FUZZ_CHECK(std::strcmp(s.inbox_dir, t.inbox_dir) == 0);
  FUZZ_CHECK(s.auto_accept == t.auto_accept && s.lang == t.lang);
  FUZZ_CHECK(s.first_run_done == t.first_run_done && s.intro_shown == t.intro_shown);
  return 0;
}
