#include "recv/session_config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(SessionConfigInit, ClearsEveryFieldOfAUsedRecordAndSetsTheTwoDefaults) {
  SessionConfig c;
  std::memset(&c, 0xAB, sizeof c);  // as if a previous config lived here
  EXPECT_EQ(session_config_init(&c), 0);

  for (uint8_t b : c.static_private_key) ASSERT_EQ(b, 0);
  EXPECT_STREQ(c.device_name, "");
  EXPECT_STREQ(c.inbox_dir, "");
  EXPECT_EQ(c.trust_store, nullptr);
  EXPECT_EQ(c.pairing_window, nullptr);
  EXPECT_EQ(c.auto_accept_trusted, 1);
  EXPECT_EQ(c.open_mode, 0);
  EXPECT_EQ(c.allowance, nullptr);
  EXPECT_EQ(c.allowance_ms, 0u);
  EXPECT_EQ(c.user_data, nullptr);
  EXPECT_EQ(c.events.on_pairing_prompt, nullptr);
  EXPECT_EQ(c.events.on_offer_prompt, nullptr);
  EXPECT_EQ(c.events.on_text_received, nullptr);
  EXPECT_EQ(c.events.on_files_received, nullptr);
  EXPECT_EQ(c.events.on_progress, nullptr);
  EXPECT_EQ(c.events.on_paired, nullptr);
  EXPECT_EQ(c.events.on_allowance_granted, nullptr);
  EXPECT_EQ(c.events.on_log, nullptr);
  EXPECT_EQ(c.free_space_override, UINT64_MAX);
  EXPECT_EQ(c.pairing_timeout_ms, 0);
  EXPECT_EQ(c.idle_timeout_ms, 0);
}

TEST(SessionConfigTimeouts, NonPositiveValuesMeanTheDefaults) {
  struct Case { int configured; int pairing; int idle; };
  const Case cases[] = {
      {0, 180000, 60000},
      {-5, 180000, 60000},
      {1, 1, 1},
      {2500, 2500, 2500},
  };
  for (const Case& k : cases) {
    SessionConfig c;
    session_config_init(&c);
    c.pairing_timeout_ms = k.configured;
    c.idle_timeout_ms = k.configured;
    EXPECT_EQ(session_config_pairing_timeout(&c), k.pairing) << k.configured;
    EXPECT_EQ(session_config_idle_timeout(&c), k.idle) << k.configured;
  }
}

TEST(SessionConfigDeviceName, IsCutTo63BytesWithoutSplittingACharacter) {
  const std::string ascii63(63, 'a');
  const std::string ascii66 = ascii63 + "xyz";
  // "é" is two bytes: 62 ASCII bytes plus "é" would need 64, so the whole "é" must go.
  const std::string accent_over = std::string(62, 'b') + "\xC3\xA9" + "tail";
  // A three-byte "€" that ends exactly at byte 63 stays.
  const std::string euro_fits = std::string(60, 'c') + "\xE2\x82\xAC" + "more";
  struct Case { const char* name; std::string expected; };
  const Case cases[] = {
      {"Desk", "Desk"},
      {"", ""},
      {nullptr, ""},
      {ascii63.c_str(), ascii63},
      {ascii66.c_str(), ascii63},
      {accent_over.c_str(), std::string(62, 'b')},
      {euro_fits.c_str(), std::string(60, 'c') + "\xE2\x82\xAC"},
  };
  for (const Case& k : cases) {
    SessionConfig c;
    session_config_init(&c);
    std::memset(c.device_name, 'z', sizeof c.device_name);  // the terminator must be written
    session_config_set_device_name(&c, k.name);
    EXPECT_EQ(std::string(c.device_name), k.expected) << (k.name ? k.name : "(null)");
  }
}

}  // namespace
