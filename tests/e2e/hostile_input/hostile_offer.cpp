// Offers a stranger on the network can make to an agent on 127.0.0.1 in open mode (it
// announces the send-without-pairing feature), each built to make the agent believe, show or
// store something it must not.
//
//   hostile_offer --port P MODE [N]
//
// Modes:
//   total-lies     one file of 2^62 bytes in an offer whose total says 1 byte
//   total-wraps    two files of 2^63 bytes in an offer whose total says 0 (the sum wraps)
//   bad-utf8       one file named "bad\xFF.txt", which is not UTF-8
//   spread N       N files of 2 bytes named with two letters each; one byte of every file
//                  first, then the last file finished; then "waiting" on standard output
//                  until a line arrives on standard input; then the rest of every file
//   deep N         N files, each 63 folders deep in a folder tree of its own; the first file
//                  is sent whole, then the transfer is ended (MSG_END) with the rest unsent
//
// Prints one line, the agent's answer: "error <code> <text>", "reject <reason>",
// "stored <n>" (files the agent reported stored) or "closed" / "no-answer".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "channel/channel.h"
#include "channel/messages.h"
#include "client_stream.h"
#include "crypto/sha256.h"
#include "platform/net.h"
#include "platform/sync.h"
#include "recv/recv.h"
#include "recv/transfer.h"
#include "sender.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr int kAnswerMs = 30000;

struct Offer {
  uint8_t id[16];
  std::vector<std::string> names;
  std::vector<SendItem> items;
};

void add_item(Offer* o, std::string name, uint64_t size) {
  o->names.push_back(std::move(name));
  o->items.push_back(SendItem{"", nullptr, size, 0, 0, -1, 0});
}

// Sends the offer with the total given; false when it does not fit one message.
bool send_offer(Sender* s, Offer* o, uint64_t total) {
  for (size_t i = 0; i < o->items.size(); ++i) o->items[i].name = o->names[i].c_str();
  random_bytes(o->id, 16);
  std::vector<uint8_t> msg(2 + kChannelMaxBody);
  msg[0] = MSG_OFFER;
  size_t n = offer_encode(o->id, kOfferKindFiles, int(o->items.size()), total, o->items.data(),
                          msg.data() + 2, kChannelMaxBody);
  return n != 0 && channel_send(&s->ch, msg.data(), 2 + n) == 0;
}

// Prints what the agent's last message says; true when it accepted.
bool print_answer(Sender* s, int len) {
  if (len < 2) {
    puts(len == -2 ? "no-answer" : "closed");
    return false;
  }
  const uint8_t* b = s->msg + 2;
  switch (s->msg[0]) {
    case MSG_ACCEPT: return true;
    case MSG_REJECT: printf("reject %d\n", len >= 2 + 17 ? b[16] : -1); return false;
    case MSG_ERROR: {
      int code = len >= 4 ? (b[0] << 8 | b[1]) : -1;
      int text_len = len >= 6 ? (b[2] << 8 | b[3]) : 0;
      if (4 + text_len > len - 2) text_len = 0;
      printf("error %d %.*s\n", code, text_len, reinterpret_cast<const char*>(b + 4));
      return false;
    }
    default: printf("message 0x%02x\n", s->msg[0]); return false;
  }
}

bool send_bytes(Sender* s, const Offer& o, int index, uint64_t offset, const uint8_t* data,
                size_t len) {
  std::vector<uint8_t> m(2 + 16 + 2 + 8 + len);
  m[0] = MSG_DATA;
  memcpy(&m[2], o.id, 16);
  m[18] = uint8_t(index >> 8);
  m[19] = uint8_t(index);
  for (int b = 0; b < 8; ++b) m[20 + b] = uint8_t(offset >> (56 - 8 * b));
  memcpy(&m[28], data, len);
  return channel_send(&s->ch, m.data(), m.size()) == 0;
}

bool send_end(Sender* s, const Offer& o, int index, const uint8_t* data, size_t len) {
  uint8_t m[2 + 16 + 2 + 32] = {MSG_FILE_END, 0};
  memcpy(&m[2], o.id, 16);
  m[18] = uint8_t(index >> 8);
  m[19] = uint8_t(index);
  sha256(data, uint32_t(len), &m[20]);
  return channel_send(&s->ch, m, sizeof m) == 0;
}

// Takes the agent's messages until one file result arrives; 1 stored, 0 not, -1 gone.
int file_result(Sender* s) {
  for (;;) {
    int len = sender_recv(s, kAnswerMs);
    if (len < 0) return -1;
    if (s->msg[0] == MSG_FILE_RESULT && len >= 2 + 19) return s->msg[2 + 18] == 0 ? 1 : 0;
  }
}

std::string two_letters(int i) {
  static const char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  return std::string{kAlphabet[i / 62], kAlphabet[i % 62]};
}

int spread(Sender* s, int n) {
  Offer o;
  for (int i = 0; i < n; ++i) add_item(&o, two_letters(i), 2);
  if (!send_offer(s, &o, 2 * uint64_t(n))) return 2;
  if (!print_answer(s, sender_recv(s, kAnswerMs))) return 0;
  const uint8_t data[2] = {'o', 'k'};
  for (int i = 0; i < n; ++i) send_bytes(s, o, i, 0, data, 1);
  // The last file is finished at once: its result comes after the agent took every byte
  // before it, so the figures are read with every file of the offer begun.
  int stored = 0;
  auto finish = [&](int i) {
    send_bytes(s, o, i, 1, data + 1, 1);
    send_end(s, o, i, data, 2);
    if (file_result(s) == 1) ++stored;
  };
  finish(n - 1);
  puts("waiting");
  fflush(stdout);
  char line[16];
  if (!fgets(line, sizeof line, stdin)) return 1;
  for (int i = 0; i < n - 1; ++i) finish(i);
  printf("stored %d\n", stored);
  return 0;
}

int deep(Sender* s, int n) {
  Offer o;
  for (int i = 0; i < n; ++i) {
    std::string path = "tree" + std::to_string(i);
    for (int d = 1; d < 63; ++d) path += "/d";
    add_item(&o, path + "/f.bin", 4);
  }
  if (!send_offer(s, &o, 4 * uint64_t(n))) return 2;
  if (!print_answer(s, sender_recv(s, kAnswerMs))) return 0;
  const uint8_t data[4] = {1, 2, 3, 4};
  send_bytes(s, o, 0, 0, data, sizeof data);
  send_end(s, o, 0, data, sizeof data);
  printf("stored %d\n", file_result(s) == 1 ? 1 : 0);
  channel_send_message(&s->ch, MSG_END, nullptr, 0);
  return 0;
}

int one_offer(Sender* s, const std::string& mode) {
  Offer o;
  uint64_t total = 0;
  if (mode == "total-lies") {
    add_item(&o, "huge.bin", uint64_t(1) << 62);
    total = 1;
  } else if (mode == "total-wraps") {
    add_item(&o, "half1.bin", uint64_t(1) << 63);
    add_item(&o, "half2.bin", uint64_t(1) << 63);
  } else {
    add_item(&o, "bad\xFF.txt", 10);
    total = 10;
  }
  if (!send_offer(s, &o, total)) return 2;
  print_answer(s, sender_recv(s, kAnswerMs));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || strcmp(argv[1], "--port") != 0) {
    fprintf(stderr, "usage: hostile_offer --port P MODE [N]\n");
    return 2;
  }
  const std::string mode = argv[3];
  const int n = argc > 4 ? atoi(argv[4]) : 1;
  if (mode != "total-lies" && mode != "total-wraps" && mode != "bad-utf8" && mode != "spread" &&
      mode != "deep") {
    fprintf(stderr, "hostile_offer: unknown mode %s\n", mode.c_str());
    return 2;
  }
  net_startup();
  SenderConfig config{};
  random_bytes(config.private_key, 32);
  snprintf(config.name, sizeof config.name, "hostile-%s", mode.c_str());
  config.features = kSenderFeatures | kFeatureSendUnpaired;
  config.version = 1;
  StreamOps* io = nullptr;
  if (client_stream_connect(kLoopback, uint16_t(atoi(argv[2])), 5000, &io) != CONNECT_OK) {
    puts("connect-failed");
    return 1;
  }
  Sender s;
  if (sender_open(&s, io, &config) != SEND_OK) {
    puts("open-failed");
    return 1;
  }
  int rc = mode == "spread" ? spread(&s, n) : mode == "deep" ? deep(&s, n) : one_offer(&s, mode);
  sender_close(&s);
  return rc;
}
