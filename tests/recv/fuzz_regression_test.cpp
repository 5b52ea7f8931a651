// Inputs the fuzzer found that once produced unsafe names, kept as they were found.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "recv/file_store.h"

namespace {

struct CutCase {
  const char* name;
  std::string in;
  bool ok;
  std::string out;
};

// Names longer than 200 characters whose cut point falls on a space or a dot: the cut name
// must not end in either (Windows drops them and reaches another name, or keeps a name that
// nothing else can open), and what is left must not be a device name.
std::vector<CutCase> cut_cases() {
  const std::string x199(199, 'x');
  return {
      // As found: the last dot is followed by 27 bytes, too long for an extension.
      {"dot at the cut", x199 + ".jp" + std::string(24, 'x') + "g", true, x199},
      {"dot at the 200th character", x199 + "." + std::string(30, 'y'), true, x199},
      {"space at the 200th character", x199 + " " + std::string(30, 'y'), true, x199},
      {"spaces and dots before the cut",
       std::string(150, 'x') + std::string(30, ' ') + std::string(20, '.') + " " +
           std::string(30, 'z'),
       true, std::string(150, 'x')},
      {"device name left after the cut", "CON" + std::string(197, ' ') + "yyy", true, "_CON"},
      // As found: a device name as the 198th to 200th characters; the "_" in front takes the
      // place of the last one, so the name keeps to 200 characters.
      {"device name at the cut",
       std::string(197, ' ') + "AUX\x89" "AUX" + std::string(83, ' ') + "\x9c" +
           std::string(10, ' ') + "AUX",
       true, "_" + std::string(197, ' ') + "AU"},
      {"device name before a kept extension",
       std::string(193, ' ') + "AUX" + std::string(20, 'b') + ".txt", true,
       "_" + std::string(193, ' ') + "AU.txt"},
      {"nothing left after the cut", std::string(230, ' ') + "z", false, ""},
      {"extension kept, no trim needed", std::string(250, 'x') + ".jpg", true,
       std::string(196, 'x') + ".jpg"},
  };
}

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class SanitizeCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(SanitizeCut, NeverEndsInSpaceOrDotAndIsNoDevice) {
  const CutCase& c = GetParam();
  char out[kComponentCap];
  int rc = sanitize_component(c.in.c_str(), out, sizeof out);
  ASSERT_EQ(rc == 0, c.ok);
  if (c.ok) {
    EXPECT_EQ(std::string(out), c.out);
  }
}

INSTANTIATE_TEST_SUITE_P(Found, SanitizeCut, ::testing::ValuesIn(cut_cases()),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST(SplitOfferPath, CutFolderNameEndsClean) {
  // The same cut inside a folder component of an offered path.
  std::string name = std::string(199, 'd') + "." + std::string(30, 'e') + "/file.txt";
  static OfferPath path;
  ASSERT_EQ(split_offer_path(name.c_str(), &path), 0);
  ASSERT_EQ(path.count, 2);
  EXPECT_EQ(std::string(path.parts[0]), std::string(199, 'd'));
  EXPECT_EQ(std::string(path.parts[1]), "file.txt");
}

}  // namespace
