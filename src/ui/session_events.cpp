#include "ui/session_events.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/agent_state.h"
#include "app/log.h"
#include "app/messages.h"
#include "channel/peer_text.h"
#include "recv/session_config.h"
#include "ui/desktop.h"
#include "ui/format.h"
#include "ui/progress_state.h"

namespace {

// Names in a prompt are shortened in the middle to this many UTF-16 units: a name without
// spaces cannot be wrapped, and a longer one would push the box off the screen.
constexpr size_t kPromptNameUnits = 48;
constexpr size_t kPromptNameCap = 260;

// A peer's text in the form a person and the log may see; room for the whole of it, since
// every replaced byte takes three.
class Shown {
 public:
  explicit Shown(const char* text) : text_(3 * (text ? strlen(text) : 0) + 1, '\0') {
    peer_text_for_display(text, text_.data(), text_.size());
  }
  const char* c_str() const { return text_.c_str(); }

 private:
  std::string text_;
};

// Formats one of the messages into out. A cut never leaves half a character behind: the
// box or balloon would refuse the whole text.
void format_message(char* out, size_t cap, int message, ...) {
  va_list args;
  va_start(args, message);
  vsnprintf(out, cap, message_text(message), args);
  va_end(args);
  utf8_drop_cut_tail(out);
}

int on_pairing_prompt(void*, const char* code, const char* raw_peer_name, const char*) {
  Shown peer_name_shown(raw_peer_name);
  const char* peer_name = peer_name_shown.c_str();
  if (agent_state()->autotest) {
    agent_log("AUTOTEST pairing code=%s peer=%s", code, peer_name);
    return 1;
  }
  char name[kPromptNameCap];
  shorten_middle(peer_name, kPromptNameUnits, name, sizeof name);
  char text[900];
  format_message(text, sizeof text, MESSAGE_PAIRING_PROMPT, name, code);
  return show_pairing_box(text, code) == ANSWER_YES;
}

int on_offer_prompt(void*, const OfferInfo* raw_offer) {
  Shown peer_name(raw_offer->peer_name), first_name(raw_offer->first_name);
  OfferInfo shown_offer = *raw_offer;
  shown_offer.peer_name = peer_name.c_str();
  shown_offer.first_name = first_name.c_str();
  const OfferInfo* offer = &shown_offer;
  char size[32];
  format_bytes(offer->total_bytes, size, sizeof size);
  if (agent_state()->autotest) {
    agent_log("AUTOTEST offer from=%s kind=%d count=%d total=%s", offer->peer_name, offer->kind,
              offer->count, size);
    return 1;
  }
  char waiting[300];
  format_message(waiting, sizeof waiting, MESSAGE_PROMPT_WAITING, offer->peer_name);
  play_question_beep();
  show_balloon(waiting, nullptr);

  char peer[kPromptNameCap], first[kPromptNameCap];
  shorten_middle(offer->peer_name, kPromptNameUnits, peer, sizeof peer);
  shorten_middle(offer->first_name, kPromptNameUnits, first, sizeof first);
  char question[1400];
  if (offer->kind == kOfferKindFiles) {
    format_message(question, sizeof question, MESSAGE_OFFER_FILES, peer, offer->count, size,
                   first);
  } else if (offer->kind == kOfferKindLink) {
    format_message(question, sizeof question, MESSAGE_OFFER_LINK, peer);
  } else {
    format_message(question, sizeof question, MESSAGE_OFFER_TEXT, peer);
  }
  return show_message_box(question, BOX_YESNO | BOX_ICONQUESTION) == ANSWER_YES;
}

// The notice about a received text or link: copied to the clipboard or not.
int text_notice(int kind, bool copied) {
  if (kind == kOfferKindLink) return copied ? MESSAGE_LINK_COPIED : MESSAGE_LINK_NOT_COPIED;
  return copied ? MESSAGE_TEXT_COPIED : MESSAGE_TEXT_NOT_COPIED;
}

// The clipboard gets the text as it was sent: that is what the user asked to receive.
void on_text_received(void*, const char* raw_peer_name, int kind, const char* text) {
  const bool copied = clipboard_put_text(text) == 0;
  Shown peer_name_shown(raw_peer_name);
  const char* peer_name = peer_name_shown.c_str();
  show_received_text(peer_name, kind, Shown(text).c_str());
  char notice[400];
  format_message(notice, sizeof notice, text_notice(kind, copied), peer_name);
  show_balloon(notice, nullptr);
  set_tray_tip(message_text(MESSAGE_TIP_READY));
}

void on_files_received(void*, const char* peer_name, int count, uint64_t, const char* const*) {
  char notice[400];
  format_message(notice, sizeof notice, MESSAGE_FILES_RECEIVED, Shown(peer_name).c_str(),
                 count);
  progress_post_hide();
  // The inbox of this moment: a later change of folder does not move the click target.
  show_balloon(notice, agent_state()->settings.inbox_dir);
  set_tray_tip(message_text(MESSAGE_TIP_READY));
}

void on_progress(void*, const char* raw_peer_name, uint64_t done, uint64_t total,
                 const char* raw_path) {
  // Cut here, to the progress window's own sizes, at a character boundary: a later cut in
  // the middle of a character would leave text the window cannot show at all.
  char peer_name[sizeof(ProgressState::peer_name)];
  char path[sizeof(ProgressState::file_path)];
  peer_text_for_display(raw_peer_name, peer_name, sizeof peer_name);
  peer_text_for_display(raw_path, path, sizeof path);
  int percent = progress_percent(done, total);
  char tip[128];
  progress_tip_text(peer_name, percent, tip, sizeof tip);
  set_tray_tip(tip);
  progress_report(peer_name, path, done, total, percent);
}

void on_paired(void*, const char* peer_name) {
  char notice[200];
  format_message(notice, sizeof notice, MESSAGE_PAIRED, Shown(peer_name).c_str());
  show_balloon(notice, nullptr);
}

void on_allowance_granted(void*, const char* peer_name, uint64_t) {
  char notice[300];
  format_message(notice, sizeof notice, MESSAGE_ALLOWANCE_GRANTED, Shown(peer_name).c_str());
  show_balloon(notice, nullptr);
}

}  // namespace

void progress_tip_text(const char* peer_name, int percent, char* tip, size_t cap) {
  if (!tip || cap == 0) return;
  snprintf(tip, cap, message_text(MESSAGE_TIP_RECEIVING), "", percent);
  // The name gets the units and the bytes the rest of the text leaves, so that snprintf
  // never cuts through a character.
  size_t rest = utf16_length(tip), rest_bytes = strlen(tip);
  char name[kPromptNameCap];
  size_t name_cap = cap > rest_bytes ? std::min(sizeof name, cap - rest_bytes) : 1;
  shorten_middle(peer_name, rest < TRAY_TIP_UNITS ? TRAY_TIP_UNITS - rest : 0, name, name_cap);
  snprintf(tip, cap, message_text(MESSAGE_TIP_RECEIVING), name, percent);
}

void desktop_session_events(SessionEvents* events) {
  events->on_pairing_prompt = on_pairing_prompt;
  events->on_offer_prompt = on_offer_prompt;
  events->on_text_received = on_text_received;
  events->on_files_received = on_files_received;
  events->on_progress = on_progress;
  events->on_paired = on_paired;
  events->on_allowance_granted = on_allowance_granted;
  events->on_log = session_log;
}
