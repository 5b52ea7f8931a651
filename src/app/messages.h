#pragma once
// The user-visible texts of the agent in its ten languages. Every menu item, tooltip,
// balloon, message box, the progress window's title, the folder picker's title and the
// default inbox folder's name come from here; log lines and the product name do not.
//
// The texts are printf formats in UTF-8: "%s" takes a UTF-8 text, "%d" an int, "%%" prints
// a percent sign. A message has the same placeholders in the same order in every language,
// so callers format any language with the same arguments.
#include <cstddef>
#include <cstdint>

// Language indexes: the columns of the message table. English is also the fallback.
enum : int {
  LANG_ENGLISH = 0,
  LANG_JAPANESE = 1,
  LANG_CHINESE_TRADITIONAL = 2,
  LANG_CHINESE_SIMPLIFIED = 3,
  LANG_KOREAN = 4,
  LANG_FRENCH = 5,
  LANG_RUSSIAN = 6,
  LANG_SPANISH = 7,
  LANG_GERMAN = 8,
  LANG_PORTUGUESE = 9,
  LANGUAGE_COUNT = 10,
};

// Message ids: the rows of the message table. The placeholders each one takes are listed.
enum : int {
  MESSAGE_OPEN_INBOX = 0,           // tray menu item
  MESSAGE_ALLOWING = 1,             // %s peer name, %d minutes left
  MESSAGE_STOP_ALLOWING = 2,        // tray menu item
  MESSAGE_SETTINGS = 3,             // title of the settings submenu
  MESSAGE_CHANGE_INBOX = 4,         // settings submenu item
  MESSAGE_START_WITH_WINDOWS = 5,   // settings submenu item
  MESSAGE_ABOUT_ITEM = 6,           // tray menu item
  MESSAGE_QUIT = 7,                 // tray menu item
  MESSAGE_TIP_READY = 8,            // idle tooltip
  MESSAGE_TIP_RECEIVING = 9,        // %s peer name, %d percent
  MESSAGE_PROGRESS_TITLE = 10,      // %s peer name
  MESSAGE_OFFER_FILES = 11,         // %s peer name, %d file count, %s total size, %s first file
  MESSAGE_OFFER_TEXT = 12,          // %s peer name
  MESSAGE_OFFER_LINK = 13,          // %s peer name
  MESSAGE_PAIRING_PROMPT = 14,      // %s peer name, %s six-digit code
  MESSAGE_FILES_RECEIVED = 15,      // %s peer name, %d file count
  MESSAGE_TEXT_COPIED = 16,         // %s peer name
  MESSAGE_LINK_COPIED = 17,         // %s peer name
  MESSAGE_PAIRED = 18,              // %s peer name
  MESSAGE_INTRO = 19,               // balloon on the first normal run
  MESSAGE_ALLOWANCE_GRANTED = 20,   // %s peer name
  MESSAGE_PROMPT_WAITING = 21,      // %s peer name
  MESSAGE_INSTALL_QUESTION = 22,    // first-run question (Yes / No / Cancel)
  MESSAGE_INSTALLED = 23,           // after a successful install
  MESSAGE_ABOUT = 24,               // %s version, %s device id, %s inbox folder, %d port
  MESSAGE_PICK_INBOX = 25,          // title of the folder picker
  MESSAGE_LISTEN_FAILED = 26,       // the listener could not start
  MESSAGE_UNINSTALL_QUESTION = 27,  // also delete settings and paired devices?
  MESSAGE_UNINSTALLED = 28,         // after uninstalling
  MESSAGE_ALREADY_RUNNING = 29,     // another copy runs in this session
  MESSAGE_INBOX_NAME = 30,          // leaf name of the default inbox folder
  MESSAGE_TEXT_NOT_COPIED = 31,     // %s peer name
  MESSAGE_LINK_NOT_COPIED = 32,     // %s peer name
  MESSAGE_COUNT = 33,
};

// The buttons of the prompts. The texts name them ("choose Yes"), so the buttons carry the
// words of the program's language too, whatever the language of the system.
enum : int {
  BUTTON_YES = 0,
  BUTTON_NO = 1,
  BUTTON_CANCEL = 2,
  BUTTON_OK = 3,
  BUTTON_COUNT = 4,
};

// The language index for a Windows language id (as GetUserDefaultUILanguage gives it):
// regional variants share their language's index; Chinese is split into traditional
// (Taiwan, Hong Kong SAR, Macao SAR) and simplified (everything else); any language
// without its own column gives English (0).
int language_from_ui_language(uint16_t ui_language);

// Selects the language of message_text for the rest of the run: the index when it is
// 0..9, English for anything else (negative values included). Called once at start-up
// before other threads exist; reading afterwards is safe from any thread.
void set_language(int index);

// The language set_language selected; 0 until it is called.
int current_language();

// The message in the current language, or its English text when that cell is missing or
// empty; the empty text for an id outside 0..30. The pointer refers to constant data
// that lives for the whole run.
const char* message_text(int id);

// One row's choice: the cell of the language when present and not empty, else the
// English cell (row[0]); the empty text when both are missing, or when the language is
// outside 0..9 (then English). message_text applies this to the built-in table.
const char* message_pick(const char* const row[LANGUAGE_COUNT], int language);

// The word of a prompt button in the current language (never empty); the empty text for a
// button outside 0..3. Constant data that lives for the whole run.
const char* button_text(int button);

// The caption of a prompt button in the current language, its access key marked by `mark`
// ('&' on Windows, '_' in GTK) as the systems' own buttons have it: Yes and No get the
// mark before the word ("&Ja"), or their English letter after it where the word begins
// beyond the alphabetic scripts ("はい(&Y)"); Cancel and OK (Escape and Enter) get none.
// Formatted into cap bytes, always terminated.
void button_caption(int button, char mark, char* out, size_t cap);
