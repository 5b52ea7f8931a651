#include "app/messages.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Every test leaves the process in English, the state start-up finds.
class Messages : public ::testing::Test {
protected:
  void TearDown() override { set_language(LANG_ENGLISH); }
};

// The printf conversions of a text in order ("%s", "%d", "%%"); anything else after a
// percent sign is returned as "%?" followed by that character, so that a stray or
// mistyped sign shows up in the comparison.
std::vector<std::string> conversions(const char* text) {
  std::vector<std::string> out;
  for (const char* p = text; *p; ++p) {
    if (*p != '%') continue;
    char c = p[1];
    if (c == 's' || c == 'd' || c == '%') {
      out.push_back(std::string("%") + c);
      ++p;
    } else {
      out.push_back(std::string("%?") + (c ? c : '0'));
      if (c) ++p;
    }
  }
  return out;
}

// Decodes UTF-8 strictly (no overlong forms, no surrogates, nothing above U+10FFFF).
// Returns false on any malformed sequence.
bool decode_utf8(const std::string& s, std::vector<uint32_t>* out) {
  out->clear();
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    int extra;
    uint32_t cp;
    uint32_t min;
    if (b < 0x80) {
      extra = 0, cp = b, min = 0;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, cp = b & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      unsigned char c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    out->push_back(cp);
    i += 1 + extra;
  }
  return true;
}

std::string text_in(int language, int id) {
  set_language(language);
  std::string s = message_text(id);
  set_language(LANG_ENGLISH);
  return s;
}

int count_char(const std::string& s, char c) {
  int n = 0;
  for (char x : s) n += (x == c);
  return n;
}

// Must run before anything calls set_language in this process (natively every test runs in
// a process of its own; in the whole-program run it is the first test of the file).
TEST_F(Messages, StartsInEnglish) {
  EXPECT_EQ(current_language(), LANG_ENGLISH);
  EXPECT_STREQ(message_text(MESSAGE_QUIT), "Quit");
}

TEST_F(Messages, EveryLanguageHasItsOwnWellFormedTextForEveryMessage) {
  for (int id = 0; id < MESSAGE_COUNT; ++id) {
    const std::string english = text_in(LANG_ENGLISH, id);
    ASSERT_FALSE(english.empty()) << "message " << id;
    for (int lang = 0; lang < LANGUAGE_COUNT; ++lang) {
      SCOPED_TRACE("message " + std::to_string(id) + " language " + std::to_string(lang));
      const std::string text = text_in(lang, id);
      ASSERT_FALSE(text.empty());
      std::vector<uint32_t> cps;
      EXPECT_TRUE(decode_utf8(text, &cps)) << text;
      // No translation equals the English text, so equality means the cell is missing and
      // the English fallback answered.
      if (lang != LANG_ENGLISH) {
        EXPECT_NE(text, english);
      }
      // Callers pass the same arguments whatever the language.
      EXPECT_EQ(conversions(text.c_str()), conversions(english.c_str())) << text;
      // Message boxes break lines where the English text does; balloons and menu items
      // (no line feed in English) get none.
      EXPECT_EQ(count_char(text, '\n'), count_char(english, '\n')) << text;
    }
  }
}

TEST_F(Messages, ColumnsHoldTheirLanguage) {
  // A shifted column would put, say, Russian text under Korean. Korean and Russian are the
  // columns with a script of their own in every message.
  struct Script {
    int language;
    uint32_t lo, hi;
  } const scripts[] = {
      {LANG_KOREAN, 0xAC00, 0xD7A3},   // Hangul syllables
      {LANG_RUSSIAN, 0x0400, 0x04FF},  // Cyrillic
  };
  for (const Script& sc : scripts) {
    for (int id = 0; id < MESSAGE_COUNT; ++id) {
      std::vector<uint32_t> cps;
      ASSERT_TRUE(decode_utf8(text_in(sc.language, id), &cps));
      bool found = false;
      for (uint32_t cp : cps) found = found || (cp >= sc.lo && cp <= sc.hi);
      EXPECT_TRUE(found) << "language " << sc.language << " message " << id;
    }
  }
}

TEST_F(Messages, ExactTexts) {
  struct Case {
    int language;
    int id;
    const char* text;
  } const cases[] = {
      {LANG_ENGLISH, MESSAGE_LISTEN_FAILED,
       "Could not start listening on the network. Another program may be using the port."},
      {LANG_ENGLISH, MESSAGE_INBOX_NAME, "ferrylink Inbox"},
      {LANG_ENGLISH, MESSAGE_TIP_RECEIVING, "Receiving from %s: %d%%"},
      {LANG_ENGLISH, MESSAGE_OFFER_FILES,
       "\"%s\" wants to send you %d file(s) (%s):\n%s\n\nAccept?\n(If you choose Yes, this "
       "device can send you anything for the next 10 minutes without asking again.)"},
      {LANG_ENGLISH, MESSAGE_ABOUT,
       "ferrylink %s\nReceives files from your iPhone over the local network.\n\nDevice ID: "
       "%s\nInbox: %s\nPort: %d"},
      {LANG_JAPANESE, MESSAGE_OFFER_FILES,
       "「%s」からファイル %d 個（%s）が届いています：\n%s\n\n受け取りますか？\n（「はい」を選ぶと、"
       "このデバイスからは10分間、確認なしで受信します。）"},
      {LANG_JAPANESE, MESSAGE_INBOX_NAME, "ferrylink受信"},
      {LANG_CHINESE_TRADITIONAL, MESSAGE_CHANGE_INBOX, "變更收件資料夾..."},
      {LANG_CHINESE_SIMPLIFIED, MESSAGE_CHANGE_INBOX, "更改收件文件夹..."},
      {LANG_KOREAN, MESSAGE_QUIT, "종료"},
      {LANG_RUSSIAN, MESSAGE_UNINSTALLED, "ferrylink удалён."},
      {LANG_GERMAN, MESSAGE_ALLOWANCE_GRANTED,
       "Die nächsten 10 Minuten wird von „%s“ ohne Nachfrage empfangen"},
      {LANG_PORTUGUESE, MESSAGE_PAIRING_PROMPT,
       "Parear com \"%s\"?\n\nCódigo: %s\n\nSe o outro dispositivo mostrar o mesmo código, "
       "escolha Sim."},
  };
  for (const Case& c : cases)
    EXPECT_EQ(text_in(c.language, c.id), c.text) << "language " << c.language << " id " << c.id;
}

// The messages about starting with the system, the tray icon and the question on screen.
struct SystemText {
  int language;
  int id;
  const char* text;
};

template <size_t N>
void expect_texts(const SystemText (&cases)[N]) {
  for (const SystemText& c : cases)
    EXPECT_EQ(text_in(c.language, c.id), c.text) << "language " << c.language << " id " << c.id;
}

#ifdef _WIN32
TEST_F(Messages, WindowsWording) {
  const SystemText cases[] = {
      {LANG_ENGLISH, MESSAGE_ALREADY_RUNNING,
       "ferrylink is already running (look in the notification area)."},
      {LANG_ENGLISH, MESSAGE_INSTALLED, "Installed. ferrylink will start with Windows."},
      {LANG_ENGLISH, MESSAGE_START_WITH_WINDOWS, "Start with Windows"},
      {LANG_FRENCH, MESSAGE_PROMPT_WAITING,
       "%s souhaite vous envoyer quelque chose. Répondez dans la fenêtre à l’écran."},
      {LANG_SPANISH, MESSAGE_INSTALL_QUESTION,
       "¿Instalar ferrylink en este PC e iniciarlo con Windows?\n\nSí: instalar e iniciar con "
       "Windows\nNo: ejecutar solo esta vez\nCancelar: salir"},
  };
  expect_texts(cases);
}
#else
TEST_F(Messages, LinuxWording) {
  const SystemText cases[] = {
      {LANG_ENGLISH, MESSAGE_ALREADY_RUNNING, "ferrylink is already running for this user."},
      {LANG_ENGLISH, MESSAGE_INSTALLED, "Installed. ferrylink will start when you log in."},
      {LANG_ENGLISH, MESSAGE_START_WITH_WINDOWS, "Start at login"},
      {LANG_ENGLISH, MESSAGE_INSTALL_QUESTION,
       "Install ferrylink for this user and start it when you log in?\n\nYes: install and "
       "start at login\nNo: just run it this time\nCancel: exit"},
      {LANG_ENGLISH, MESSAGE_PROMPT_WAITING,
       "%s wants to send you something. Please answer the question."},
      {LANG_GERMAN, MESSAGE_START_WITH_WINDOWS, "Bei der Anmeldung starten"},
      {LANG_JAPANESE, MESSAGE_INSTALLED, "インストールしました。ログイン時に自動で開始します。"},
  };
  expect_texts(cases);
}

// Words that are false on a Linux desktop, per language: Windows itself, the notification
// area and right-clicking the icon.
TEST_F(Messages, NoLinuxTextSpeaksOfWindowsOrItsNotificationArea) {
  struct Banned {
    int language;
    const char* words[4];
  } const banned[] = {
      {LANG_ENGLISH, {"Windows", "notification area", "Right-click", "window on screen"}},
      {LANG_JAPANESE, {"Windows", "通知領域", "右クリック", "画面のウィンドウ"}},
      {LANG_CHINESE_TRADITIONAL, {"Windows", "通知區域", "右鍵", "右下角"}},
      {LANG_CHINESE_SIMPLIFIED, {"Windows", "通知区域", "右键", "右下角"}},
      {LANG_KOREAN, {"Windows", "알림 영역", "오른쪽 버튼", "화면의 창"}},
      {LANG_FRENCH, {"Windows", "zone de notification", "clic droit", "fenêtre à l’écran"}},
      {LANG_RUSSIAN, {"Windows", "область уведомлений", "правой кнопкой", "в окне на экране"}},
      {LANG_SPANISH, {"Windows", "área de notificación", "clic derecho", "ventana de la pantalla"}},
      {LANG_GERMAN, {"Windows", "Infobereich", "rechten Maustaste", "Fenster auf dem Bildschirm"}},
      {LANG_PORTUGUESE, {"Windows", "área de notificação", "botão direito", "janela na tela"}},
  };
  for (const Banned& b : banned) {
    for (int id = 0; id < MESSAGE_COUNT; ++id) {
      const std::string text = text_in(b.language, id);
      for (const char* word : b.words) {
        EXPECT_EQ(text.find(word), std::string::npos)
            << "language " << b.language << " message " << id << ": " << text;
      }
    }
  }
}
#endif

TEST_F(Messages, IdsOutsideTheTableGiveTheEmptyText) {
  for (int lang : {int{LANG_ENGLISH}, int{LANG_GERMAN}}) {
    set_language(lang);
    for (int id : {int{MESSAGE_COUNT}, 1000, INT_MAX, -1, INT_MIN}) {
      ASSERT_NE(message_text(id), nullptr) << id;
      EXPECT_STREQ(message_text(id), "") << id;
    }
  }
}

TEST_F(Messages, SetLanguageAcceptsOnlyTheTenIndexes) {
  struct Case {
    int index;
    int selected;
    const char* quit;
  } const cases[] = {
      {0, LANG_ENGLISH, "Quit"},        {1, LANG_JAPANESE, "終了"},
      {4, LANG_KOREAN, "종료"},         {9, LANG_PORTUGUESE, "Sair"},
      {10, LANG_ENGLISH, "Quit"},       {-1, LANG_ENGLISH, "Quit"},
      {INT_MIN, LANG_ENGLISH, "Quit"},  {INT_MAX, LANG_ENGLISH, "Quit"},
  };
  for (const Case& c : cases) {
    set_language(LANG_GERMAN);  // a different start, so "stays unchanged" cannot pass
    set_language(c.index);
    EXPECT_EQ(current_language(), c.selected) << c.index;
    EXPECT_STREQ(message_text(MESSAGE_QUIT), c.quit) << c.index;
  }
}

TEST_F(Messages, WindowsLanguageIdsMapToTheirColumn) {
  struct Case {
    uint16_t id;
    int language;
  } const cases[] = {
      {0x0409, LANG_ENGLISH},              // English, United States
      {0x0809, LANG_ENGLISH},              // English, United Kingdom
      {0x0413, LANG_ENGLISH},              // Dutch
      {0x0000, LANG_ENGLISH},              // no language
      {0x0411, LANG_JAPANESE},             // Japanese
      {0xFC11, LANG_JAPANESE},             // only the low 10 bits name the language
      {0x0404, LANG_CHINESE_TRADITIONAL},  // Taiwan
      {0x0C04, LANG_CHINESE_TRADITIONAL},  // Hong Kong SAR
      {0x1404, LANG_CHINESE_TRADITIONAL},  // Macao SAR
      {0x0004, LANG_CHINESE_SIMPLIFIED},   // neutral sublanguage
      {0x0804, LANG_CHINESE_SIMPLIFIED},   // PRC
      {0x1004, LANG_CHINESE_SIMPLIFIED},   // Singapore
      {0x1804, LANG_CHINESE_SIMPLIFIED},   // sublanguage 6, the first above 0x17FF
      {0x7804, LANG_CHINESE_SIMPLIFIED},   // "zh"
      {0x7C04, LANG_CHINESE_SIMPLIFIED},   // "zh-Hant" neutral: above 0x17FF all the same
      {0x0412, LANG_KOREAN},               // Korean
      {0x040C, LANG_FRENCH},               // French, France
      {0x0C0C, LANG_FRENCH},               // French, Canada
      {0x0419, LANG_RUSSIAN},              // Russian
      {0x040A, LANG_SPANISH},              // Spanish, traditional sort
      {0x0C0A, LANG_SPANISH},              // Spanish, modern sort
      {0x080A, LANG_SPANISH},              // Spanish, Mexico
      {0x0407, LANG_GERMAN},               // German, Germany
      {0x0807, LANG_GERMAN},               // German, Switzerland
      {0x0416, LANG_PORTUGUESE},           // Portuguese, Brazil
      {0x0816, LANG_PORTUGUESE},           // Portuguese, Portugal
  };
  for (const Case& c : cases)
    EXPECT_EQ(language_from_ui_language(c.id), c.language) << std::hex << c.id;
}

TEST_F(Messages, MissingOrEmptyCellFallsBackToEnglish) {
  const char* const row[LANGUAGE_COUNT] = {"Quit", "終了", nullptr, "", "종료",
                                           "Quitter", "Выход", "Salir", "Beenden", "Sair"};
  struct Case {
    int language;
    const char* text;
  } const cases[] = {
      {LANG_ENGLISH, "Quit"},   {LANG_JAPANESE, "終了"},
      {LANG_CHINESE_TRADITIONAL, "Quit"},  // missing
      {LANG_CHINESE_SIMPLIFIED, "Quit"},   // empty
      {LANG_PORTUGUESE, "Sair"},  {LANGUAGE_COUNT, "Quit"}, {-1, "Quit"},
  };
  for (const Case& c : cases) EXPECT_STREQ(message_pick(row, c.language), c.text) << c.language;

  const char* const no_english[LANGUAGE_COUNT] = {nullptr, "", nullptr};
  EXPECT_STREQ(message_pick(no_english, LANG_JAPANESE), "");
  EXPECT_STREQ(message_pick(no_english, LANG_ENGLISH), "");
}

// The texts tell which button to choose; the buttons must carry those very words.
TEST_F(Messages, ButtonsCarryTheWordsTheTextsName) {
  struct Use {
    int message;
    int button;
  } const uses[] = {
      {MESSAGE_INSTALL_QUESTION, BUTTON_YES},    {MESSAGE_INSTALL_QUESTION, BUTTON_NO},
      {MESSAGE_INSTALL_QUESTION, BUTTON_CANCEL}, {MESSAGE_PAIRING_PROMPT, BUTTON_YES},
      {MESSAGE_OFFER_FILES, BUTTON_YES},         {MESSAGE_OFFER_TEXT, BUTTON_YES},
      {MESSAGE_OFFER_LINK, BUTTON_YES},
  };
  for (int lang = 0; lang < LANGUAGE_COUNT; ++lang) {
    set_language(lang);
    for (int b = 0; b < BUTTON_COUNT; ++b) {
      std::vector<uint32_t> cps;
      EXPECT_TRUE(decode_utf8(button_text(b), &cps)) << lang << " " << b;
      EXPECT_FALSE(cps.empty()) << lang << " " << b;
    }
    for (const Use& u : uses) {
      EXPECT_NE(std::string(message_text(u.message)).find(button_text(u.button)),
                std::string::npos)
          << "language " << lang << " message " << u.message << " button " << u.button;
    }
  }
  set_language(LANG_GERMAN);
  EXPECT_STREQ(button_text(BUTTON_NO), "Nein");
  EXPECT_STREQ(button_text(BUTTON_COUNT), "");
  EXPECT_STREQ(button_text(-1), "");
}

TEST_F(Messages, ButtonCaptionsMarkTheirAccessKeys) {
  struct Case {
    int language, button;
    char mark;
    const char* caption;
  } const cases[] = {
      {LANG_ENGLISH, BUTTON_YES, '&', "&Yes"},     {LANG_GERMAN, BUTTON_NO, '_', "_Nein"},
      {LANG_RUSSIAN, BUTTON_YES, '&', "&Да"},      {LANG_JAPANESE, BUTTON_YES, '&', "はい(&Y)"},
      {LANG_KOREAN, BUTTON_NO, '_', "아니요(_N)"}, {LANG_CHINESE_TRADITIONAL, BUTTON_NO, '&', "否(&N)"},
      {LANG_GERMAN, BUTTON_CANCEL, '&', "Abbrechen"}, {LANG_CHINESE_SIMPLIFIED, BUTTON_OK, '&', "确定"},
  };
  for (const Case& c : cases) {
    set_language(c.language);
    char caption[64];
    button_caption(c.button, c.mark, caption, sizeof caption);
    EXPECT_STREQ(caption, c.caption) << c.language << " " << c.button;
  }
  char small[3];
  set_language(LANG_GERMAN);
  button_caption(BUTTON_NO, '&', small, sizeof small);
  EXPECT_STREQ(small, "&N");
}

}  // namespace
