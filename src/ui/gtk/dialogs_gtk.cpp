// Questions and messages as GTK dialogs. A worker thread that asks waits on its own
// condition while the main thread shows the dialog and keeps running its loop, so the tray,
// the progress window and other sessions go on; two sessions may ask at the same time.
#include <gtk/gtk.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/messages.h"
#include "ui/desktop.h"
#include "ui/gtk/gtk_parts.h"

namespace {

struct Question {
  std::string text;
  std::string emphasis;
  unsigned flags = 0;
  std::mutex m;
  std::condition_variable cv;
  bool answered = false;
  int answer = 0;
  GtkWidget* dialog = nullptr;  // main thread only
};
using QuestionRef = std::shared_ptr<Question>;

std::mutex g_open_lock;
std::vector<QuestionRef> g_open;  // asked and not yet answered
bool g_closed = false;            // the desktop is ending: every question is answered at once

unsigned buttons_of(unsigned flags) { return flags & 0xF; }

// What closing the window without a button means, as on Windows: No for a Yes/No question,
// Cancel for a three-way one, OK for a message.
int closed_answer(unsigned flags) {
  switch (buttons_of(flags)) {
    case BOX_YESNO: return ANSWER_NO;
    case BOX_YESNOCANCEL: return ANSWER_CANCEL;
    default: return ANSWER_OK;
  }
}

int answer_of(int response, unsigned flags) {
  switch (response) {
    case GTK_RESPONSE_YES: return ANSWER_YES;
    case GTK_RESPONSE_NO: return ANSWER_NO;
    case GTK_RESPONSE_CANCEL: return ANSWER_CANCEL;
    case GTK_RESPONSE_OK: return ANSWER_OK;
    default: return closed_answer(flags);
  }
}

void settle(const QuestionRef& q, int answer) {
  {
    std::lock_guard<std::mutex> hold(q->m);
    if (q->answered) return;
    q->answered = true;
    q->answer = answer;
  }
  q->cv.notify_all();
  std::lock_guard<std::mutex> hold(g_open_lock);
  g_open.erase(std::remove(g_open.begin(), g_open.end(), q), g_open.end());
}

bool is_answered(const QuestionRef& q) {
  std::lock_guard<std::mutex> hold(q->m);
  return q->answered;
}

// The text as Pango markup: escaped, with the last occurrence of the emphasis set large in
// a fixed-width face, so that a code reads at a glance.
std::string markup_of(const Question& q) {
  gchar* escaped = g_markup_escape_text(q.text.c_str(), -1);
  std::string out = escaped;
  g_free(escaped);
  if (q.emphasis.empty()) return out;
  gchar* mark = g_markup_escape_text(q.emphasis.c_str(), -1);
  std::string plain = mark;
  g_free(mark);
  size_t at = out.rfind(plain);
  if (at == std::string::npos) return out;
  out.replace(at, plain.size(),
              "<span font_family=\"monospace\" size=\"xx-large\" weight=\"bold\" "
              "letter_spacing=\"4096\">" + plain + "</span>");
  return out;
}

GtkMessageType type_of(unsigned flags) {
  if (flags & BOX_ICONERROR) return GTK_MESSAGE_ERROR;
  if (flags & BOX_ICONQUESTION) return GTK_MESSAGE_QUESTION;
  if (flags & BOX_ICONINFORMATION) return GTK_MESSAGE_INFO;
  return GTK_MESSAGE_OTHER;
}

// A button with the program's word for it: the texts name the buttons ("choose Yes"), so
// the buttons speak the program's language, not the desktop's.
void add_button(GtkDialog* d, int button, int response) {
  char caption[96];
  button_caption(button, '_', caption, sizeof caption);
  gtk_dialog_add_button(d, caption, response);
}

void add_buttons(GtkDialog* d, unsigned flags) {
  switch (buttons_of(flags)) {
    case BOX_YESNO:
    case BOX_YESNOCANCEL:
      add_button(d, BUTTON_YES, GTK_RESPONSE_YES);
      add_button(d, BUTTON_NO, GTK_RESPONSE_NO);
      if (buttons_of(flags) == BOX_YESNOCANCEL) add_button(d, BUTTON_CANCEL, GTK_RESPONSE_CANCEL);
      // The first button, unless the question must not be accepted by a habitual Enter.
      gtk_dialog_set_default_response(d, (flags & BOX_DEFBUTTON2) ? GTK_RESPONSE_NO
                                                                  : GTK_RESPONSE_YES);
      break;
    default:
      add_button(d, BUTTON_OK, GTK_RESPONSE_OK);
      gtk_dialog_set_default_response(d, GTK_RESPONSE_OK);
      break;
  }
}

void on_response(GtkDialog* dialog, int response, gpointer data) {
  QuestionRef q = *static_cast<QuestionRef*>(data);
  q->dialog = nullptr;
  settle(q, answer_of(response, q->flags));
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

void forget_ref(gpointer data, GClosure*) { delete static_cast<QuestionRef*>(data); }

bool desktop_closed() {
  std::lock_guard<std::mutex> hold(g_open_lock);
  return g_closed;
}

// Main thread: shows the question's dialog, or answers it at once when the desktop ends.
void open_dialog(const QuestionRef& q) {
  if (desktop_closed()) {
    settle(q, closed_answer(q->flags));
    return;
  }
  GtkWidget* d = gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, type_of(q->flags),
                                        GTK_BUTTONS_NONE, nullptr);
  gtk_message_dialog_set_markup(GTK_MESSAGE_DIALOG(d), markup_of(*q).c_str());
  gtk_window_set_title(GTK_WINDOW(d), "ferrylink");
  add_buttons(GTK_DIALOG(d), q->flags);
  // Like a topmost message box: above the other windows, in front when it opens.
  gtk_window_set_keep_above(GTK_WINDOW(d), TRUE);
  gtk_window_set_position(GTK_WINDOW(d), GTK_WIN_POS_CENTER);
  g_signal_connect_data(d, "response", G_CALLBACK(on_response), new QuestionRef(q), forget_ref,
                        GConnectFlags(0));
  q->dialog = d;
  gtk_widget_show_all(d);
  gtk_window_present(GTK_WINDOW(d));
}

}  // namespace

int gtk_ask(const char* text, unsigned flags, const char* emphasis) {
  auto q = std::make_shared<Question>();
  q->text = text ? text : "";
  q->emphasis = emphasis ? emphasis : "";
  q->flags = flags;
  {
    std::lock_guard<std::mutex> hold(g_open_lock);
    if (g_closed) return closed_answer(flags);
    g_open.push_back(q);
  }
  if (gtk_on_main_thread()) {
    // Asked by the shell itself (first run, About, errors): the loop runs on meanwhile.
    open_dialog(q);
    while (!is_answered(q)) g_main_context_iteration(nullptr, TRUE);
  } else {
    gtk_main_post([q] { open_dialog(q); });
    std::unique_lock<std::mutex> wait(q->m);
    q->cv.wait(wait, [&] { return q->answered; });
  }
  std::lock_guard<std::mutex> hold(q->m);
  return q->answer;
}

void gtk_dialogs_close_all() {
  std::vector<QuestionRef> open;
  {
    std::lock_guard<std::mutex> hold(g_open_lock);
    g_closed = true;
    open = g_open;
  }
  for (const QuestionRef& q : open) {
    GtkWidget* d = q->dialog;
    q->dialog = nullptr;
    settle(q, closed_answer(q->flags));
    if (d) gtk_widget_destroy(d);
  }
}
