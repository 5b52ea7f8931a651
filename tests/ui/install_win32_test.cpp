// Installing on Windows, for real, with the local application-data folder pointed at a
// temporary folder and the firewall commands recorded instead of run (Wine's netsh does
// nothing). The Run value of the test user is saved and put back.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/agent_state.h"
#include "app/install.h"
#include "platform/win32/text.h"
#include "support/temp_dir.h"

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::vector<std::string> g_ran;
unsigned long g_exit_code = 0;

unsigned long record(const char* command_line) {
  g_ran.push_back(command_line);
  return g_exit_code;
}

std::wstring wide(const std::string& s) {
  wchar_t* w = utf8_to_wide(s.c_str());
  std::wstring out = w ? w : L"";
  free(w);
  return out;
}

std::string narrow(const wchar_t* w) {
  char buf[2048];
  return wide_to_utf8(w, buf, sizeof buf) == 0 ? buf : "";
}

// The Run value's data, or "(none)".
std::wstring run_value() {
  wchar_t data[1024];
  DWORD size = sizeof data;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, L"ferrylink", RRF_RT_REG_SZ, nullptr, data,
                   &size) != ERROR_SUCCESS) {
    return L"(none)";
  }
  return data;
}

std::string self_exe() {
  wchar_t buf[MAX_PATH];
  GetModuleFileNameW(nullptr, buf, MAX_PATH);
  return narrow(buf);
}

std::string windows_path(const std::string& p) {
  std::string out = p;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

class Win32Install : public ::testing::Test {
protected:
  void SetUp() override {
    had_local_ = GetEnvironmentVariableW(L"LOCALAPPDATA", local_was_, 32768) > 0;
    run_was_ = run_value();
    local_ = windows_path(dir_.path());
    SetEnvironmentVariableW(L"LOCALAPPDATA", wide(local_).c_str());
    snprintf(agent_state()->log_path, sizeof agent_state()->log_path, "%s",
             dir_.file("log.txt").c_str());
    g_ran.clear();
    g_exit_code = 0;
    before_ = install_set_command_runner(record);
  }
  void TearDown() override {
    install_set_command_runner(before_);
    agent_state()->log_path[0] = '\0';
    SetEnvironmentVariableW(L"LOCALAPPDATA", had_local_ ? local_was_ : nullptr);
    if (run_was_ == L"(none)") {
      autostart_set("", false);
    } else {
      HKEY key;
      if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, L"ferrylink", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(run_was_.c_str()),
                       DWORD((run_was_.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
      }
    }
  }

  TempDir dir_;
  std::string local_;

private:
  wchar_t local_was_[32768];
  bool had_local_ = false;
  std::wstring run_was_;
  CommandRunner before_ = nullptr;
};

TEST_F(Win32Install, CopiesRegistersAndOpensTheFirewall) {
  g_exit_code = 5;  // a refusing netsh still installs, and the code is logged
  char installed[800];
  ASSERT_EQ(install_program(installed, sizeof installed), 0);
  const std::string want = local_ + "\\ferrylink\\ferrylink.exe";
  EXPECT_EQ(std::string(installed), want);
  EXPECT_EQ(read_file(dir_.file("ferrylink/ferrylink.exe")), read_file(self_exe()));

  EXPECT_EQ(run_value(), L"\"" + wide(want) + L"\"");
  EXPECT_TRUE(autostart_is_enabled());

  std::vector<std::string> want_ran = {
      "netsh advfirewall firewall delete rule name=\"ferrylink\"",
      "netsh advfirewall firewall add rule name=\"ferrylink\" dir=in action=allow program=\"" +
          want + "\" enable=yes profile=private,domain",
  };
  EXPECT_EQ(g_ran, want_ran);
  std::string log = read_file(dir_.file("log.txt"));
  EXPECT_NE(log.find(" firewall rule exit code 5\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" firewall rule not added (it needs administrator rights)"),
            std::string::npos) << log;
  EXPECT_FALSE(is_installed_copy());

  autostart_set(installed, false);
  EXPECT_FALSE(autostart_is_enabled());
  EXPECT_EQ(run_value(), L"(none)");
}

TEST_F(Win32Install, AnAcceptedFirewallRuleIsNotReportedMissing) {
  g_exit_code = 0;
  char installed[800];
  ASSERT_EQ(install_program(installed, sizeof installed), INSTALL_OK);
  std::string log = read_file(dir_.file("log.txt"));
  EXPECT_NE(log.find(" firewall rule exit code 0\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("not added"), std::string::npos) << log;
  autostart_set(installed, false);
}

TEST_F(Win32Install, TheRunValueIsCheckedWhereverItPoints) {
  autostart_set("D:\\elsewhere\\other copy.exe", true);
  EXPECT_EQ(run_value(), L"\"D:\\elsewhere\\other copy.exe\"");
  EXPECT_TRUE(autostart_is_enabled());
  autostart_set("", false);
  EXPECT_FALSE(autostart_is_enabled());
}

TEST_F(Win32Install, AFailedCopyTouchesNeitherRunKeyNorFirewall) {
  autostart_set("", false);
  ASSERT_TRUE(write_file(dir_.file("ferrylink"), "a file where the folder should be"));
  char installed[800] = "x";
  EXPECT_EQ(install_program(installed, sizeof installed), INSTALL_COPY_FAILED);
  EXPECT_STREQ(installed, "");
  EXPECT_EQ(run_value(), L"(none)");
  EXPECT_TRUE(g_ran.empty());
}

TEST_F(Win32Install, InstallFolderFallsBackToTheShellsLocalAppData) {
  wchar_t shell[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                             SHGFP_TYPE_CURRENT, shell),
            S_OK);
  const std::string from_shell = narrow(shell) + "\\ferrylink";
  struct Case {
    const char* what;
    std::string local;  // "(unset)" removes the variable
    std::string folder;
  } const cases[] = {
      {"set", "C:\\Local", "C:\\Local\\ferrylink"},
      {"unset", "(unset)", from_shell},
      {"empty", "", from_shell},
      {"260 units: too long to count", "C:\\" + std::string(257, 'x'), from_shell},
  };
  for (const Case& c : cases) {
    SetEnvironmentVariableW(L"LOCALAPPDATA",
                            c.local == "(unset)" ? nullptr : wide(c.local).c_str());
    char folder[800];
    ASSERT_TRUE(install_location(folder, sizeof folder)) << c.what;
    EXPECT_EQ(std::string(folder), c.folder) << c.what;
  }
}

// A folder that only fits without "\ferrylink" gives no install location rather than a cut
// one.
TEST_F(Win32Install, AFolderThatWouldBeCutIsRefused) {
  SetEnvironmentVariableW(L"LOCALAPPDATA", wide("C:\\" + std::string(250, 'x')).c_str());
  char folder[800] = "x";
  EXPECT_FALSE(install_location(folder, sizeof folder));
  EXPECT_STREQ(folder, "");
  char installed[800];
  EXPECT_EQ(install_program(installed, sizeof installed), INSTALL_NO_FOLDER);
  EXPECT_TRUE(g_ran.empty());
}

TEST(RunHidden, ReturnsTheExitCodeOrOneWhenItCannotStart) {
  EXPECT_EQ(run_hidden_and_wait("cmd.exe /c exit 7"), 7u);
  EXPECT_EQ(run_hidden_and_wait("cmd.exe /c exit 0"), 0u);
  EXPECT_EQ(run_hidden_and_wait("no-such-program-ferrylink.exe"), 1u);
  EXPECT_EQ(run_hidden_and_wait(""), 1u);
}

}  // namespace
