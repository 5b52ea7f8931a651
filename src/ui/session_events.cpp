#include "ui/session_events.h"

#include <cstdio>

#include "app/agent_state.h"
#include "app/log.h"
#include "app/messages.h"
#include "recv/session_config.h"
#include "ui/desktop.h"
#include "ui/format.h"

namespace {

int on_pairing_prompt(void*, const char* code, const char* peer_name, const char*) {
  if (agent_state()->autotest) {
    agent_log("AUTOTEST pairing code=%s peer=%s", code, peer_name);
    return 1;
  }
  char text[900];
  snprintf(text, sizeof text, message_text(MESSAGE_PAIRING_PROMPT), peer_name, code);
  return show_pairing_box(text, code) == ANSWER_YES;
}

int on_offer_prompt(void*, const OfferInfo* offer) {
  char size[32];
  format_bytes(offer->total_bytes, size, sizeof size);
  if (agent_state()->autotest) {
    agent_log("AUTOTEST offer from=%s kind=%d count=%d total=%s", offer->peer_name, offer->kind,
              offer->count, size);
    return 1;
  }
  char waiting[300];
  snprintf(waiting, sizeof waiting, message_text(MESSAGE_PROMPT_WAITING), offer->peer_name);
  play_question_beep();
  show_balloon(waiting, nullptr);

  char question[1400];
  if (offer->kind == kOfferKindFiles) {
    snprintf(question, sizeof question, message_text(MESSAGE_OFFER_FILES), offer->peer_name,
             offer->count, size, offer->first_name ? offer->first_name : "");
  } else if (offer->kind == kOfferKindLink) {
    snprintf(question, sizeof question, message_text(MESSAGE_OFFER_LINK), offer->peer_name);
  } else {
    snprintf(question, sizeof question, message_text(MESSAGE_OFFER_TEXT), offer->peer_name);
  }
  return show_message_box(question, BOX_YESNO | BOX_ICONQUESTION) == ANSWER_YES;
}

void on_text_received(void*, const char* peer_name, int kind, const char* text) {
  clipboard_put_text(text);
  show_received_text(peer_name, kind, text);
  char notice[400];
  snprintf(notice, sizeof notice,
           message_text(kind == kOfferKindLink ? MESSAGE_LINK_COPIED : MESSAGE_TEXT_COPIED),
           peer_name);
  show_balloon(notice, nullptr);
  set_tray_tip(message_text(MESSAGE_TIP_READY));
}

void on_files_received(void*, const char* peer_name, int count, uint64_t, const char* const*) {
  char notice[400];
  snprintf(notice, sizeof notice, message_text(MESSAGE_FILES_RECEIVED), peer_name, count);
  progress_post_hide();
  // The inbox of this moment: a later change of folder does not move the click target.
  show_balloon(notice, agent_state()->settings.inbox_dir);
  set_tray_tip(message_text(MESSAGE_TIP_READY));
}

void on_progress(void*, const char* peer_name, uint64_t done, uint64_t total, const char* path) {
  int percent = progress_percent(done, total);
  char tip[128];
  snprintf(tip, sizeof tip, message_text(MESSAGE_TIP_RECEIVING), peer_name ? peer_name : "",
           percent);
  set_tray_tip(tip);
  progress_report(peer_name, path, done, total, percent);
}

void on_paired(void*, const char* peer_name) {
  char notice[200];
  snprintf(notice, sizeof notice, message_text(MESSAGE_PAIRED), peer_name);
  show_balloon(notice, nullptr);
}

void on_allowance_granted(void*, const char* peer_name, uint64_t) {
  char notice[300];
  snprintf(notice, sizeof notice, message_text(MESSAGE_ALLOWANCE_GRANTED), peer_name);
  show_balloon(notice, nullptr);
}

}  // namespace

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
