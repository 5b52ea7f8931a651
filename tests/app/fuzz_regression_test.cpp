// config.ini values found while writing the settings fuzz target: numbers beyond the int range
// once wrapped (atoi's overflow), so a huge lang picked language 0 and a huge non-zero flag
// read as 0.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "support/temp_dir.h"

namespace {

struct NumberCase {
  const char* name;
  std::string file;
  int lang, auto_accept, first_run_done, intro_shown;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

std::vector<NumberCase> number_cases() {
  return {
      {"lang one past 32 bits", "lang=4294967296\n", INT_MAX, 1, 0, 0},
      {"lang far below", "lang=-4294967296\n", INT_MIN, 1, 0, 0},
      {"lang at the ends of int", "lang=2147483647\n", INT_MAX, 1, 0, 0},
      {"lang at the low end", "lang=-2147483648\n", INT_MIN, 1, 0, 0},
      {"huge flags stay non-zero",
       "auto_accept=18446744073709551616\nfirst_run_done=4294967296\nintro_shown=-4294967296\n",
       -1, 1, 1, 1},
      {"many zeros are still zero", "auto_accept=000000000000000000000000000000\n", -1, 0, 0, 0},
      {"digits stop at the first other character", "lang=  +12345678901234567890x9\n", INT_MAX,
       1, 0, 0},
  };
}

class SettingsNumbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(SettingsNumbers, HeldAtTheIntRange) {
  const NumberCase& c = GetParam();
  TempDir dir;
  std::string path = dir.file("config.ini");
  ASSERT_TRUE(write_file(path, c.file));
  AgentSettings s;
  ASSERT_EQ(settings_load(path.c_str(), &s), 0);
  EXPECT_EQ(s.lang, c.lang);
  EXPECT_EQ(s.auto_accept, c.auto_accept);
  EXPECT_EQ(s.first_run_done, c.first_run_done);
  EXPECT_EQ(s.intro_shown, c.intro_shown);
}

INSTANTIATE_TEST_SUITE_P(Found, SettingsNumbers, ::testing::ValuesIn(number_cases()),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

}  // namespace
