// How UTF-8 paths become Windows wide paths, and the FAT name rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/fs.h"
#include "platform/win32/path.h"
#include "support/temp_dir.h"

namespace {

std::wstring convert(const char* utf8, int flag) {
  wchar_t* w = fs_convert_path(utf8, flag);
  if (!w) return L"<null>";
  std::wstring s(w);
  std::free(w);
  return s;
}

std::string narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s.push_back(c < 128 ? static_cast<char>(c) : '?');
  return s;
}

}  // namespace

TEST(ConvertPath, PrefixesAndSeparators) {
  struct Case {
    const char* in;
    int flag;
    const wchar_t* out;
  };
  const Case cases[] = {
      {"C:/inbox/a.txt", 1, L"\\\\?\\C:\\inbox\\a.txt"},
      {"c:\\inbox\\a.txt", 1, L"\\\\?\\c:\\inbox\\a.txt"},
      {"C:/inbox/a.txt", 0, L"C:\\inbox\\a.txt"},  // flag clear: separators only
      {"inbox/a.txt", 1, L"inbox\\a.txt"},
      {"C:foo", 1, L"C:foo"},                      // drive-relative: no prefix
      {"C:", 1, L"C:"},
      {"//server/share/f", 1, L"\\\\?\\UNC\\server\\share\\f"},
      {"\\\\server\\share\\f", 1, L"\\\\?\\UNC\\server\\share\\f"},
      {"\\/server/share", 1, L"\\\\?\\UNC\\server\\share"},
      {"//server/share/f", 0, L"\\\\server\\share\\f"},
      {"\\\\?\\C:\\already", 1, L"\\\\?\\C:\\already"},  // already prefixed: unchanged
      {"//?/C:/already", 1, L"\\\\?\\C:\\already"},
      {"/rooted/path", 1, L"\\rooted\\path"},
      {"1:/not/a/drive", 1, L"1:\\not\\a\\drive"},
      {"C:/caf\xC3\xA9/\xE5\x90\x8D", 1, L"\\\\?\\C:\\caf\u00E9\\\u540D"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(convert(c.in, c.flag), c.out) << c.in << " flag " << c.flag << " gave "
                                            << narrow(convert(c.in, c.flag));
}

TEST(ConvertPath, InvalidTextFails) {
  const char* bad[] = {"", "\xFF", "C:/a\xC3", "C:/\xED\xA0\x80"};  // empty, bad lead, cut, surrogate
  for (const char* in : bad) EXPECT_EQ(convert(in, 1), L"<null>") << narrow(std::wstring(1, in[0]));
  EXPECT_EQ(convert(nullptr, 1), L"<null>");
}

TEST(RootLength, FoldersBelowTheRootAreTheOnesCreated) {
  struct Case {
    const wchar_t* path;
    size_t root;
  };
  const Case cases[] = {
      {L"\\\\?\\C:\\inbox\\a", 7},
      {L"\\\\?\\UNC\\server\\share\\inbox\\a", 21},  // the share itself is never created
      {L"\\\\?\\UNC\\server\\share", 20},
      {L"\\\\?\\UNC\\server", 14},
      {L"C:\\inbox", 3},
      {L"C:", 2},             // never past the end of a short path
      {L"\\\\?\\C:", 6},
      {L"inbox\\a", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(fs_root_length(c.path), c.root) << narrow(c.path);
}

TEST(FatName, FileSystemNamesThatLimitFileSize) {
  struct Case {
    const wchar_t* name;
    int fat;
  };
  const Case cases[] = {{L"FAT32", 1}, {L"fat32", 1}, {L"FAT", 1}, {L"Fat", 1},
                        {L"NTFS", 0},  {L"exFAT", 0}, {L"FAT16", 0}, {L"", 0}};
  for (const Case& c : cases) EXPECT_EQ(fs_is_fat_name(c.name), c.fat) << narrow(c.name);
  EXPECT_EQ(fs_is_fat_name(nullptr), 0);
}

TEST(LongPath, DeepFoldersBeyondMaxPath) {
  TempDir dir;
  std::string p = dir.path();
  for (int i = 0; i < 8; ++i) p += "/" + std::string(40, static_cast<char>('a' + i));
  ASSERT_GT(p.size(), 260u);
  ASSERT_EQ(fs_make_dirs(p.c_str()), 0);
  std::string f = p + "/file.txt";
  ASSERT_EQ(fs_write_atomic(f.c_str(), "deep", 4), 0);
  size_t len = 0;
  char* back = fs_read_whole_file(f.c_str(), 16, &len);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::string(back, len), "deep");
  std::free(back);
  EXPECT_EQ(fs_delete(f.c_str()), 0);
}
