#include "mdns/reply_limit.h"

namespace {

bool recent(const ReplySlot& s, uint64_t now_ms) {
  return s.answers != 0 && now_ms - s.sent_ms < kReplyGapMs;
}

}  // namespace

bool reply_limit_allow(ReplyLimit* limit, uint32_t querier, int answers, uint64_t now_ms) {
  ReplySlot* free_slot = nullptr;
  int held = 0;  // this querier's replies within the gap
  for (ReplySlot& s : limit->slots) {
    if (!recent(s, now_ms)) {
      if (!free_slot) free_slot = &s;
      continue;
    }
    if (s.querier != querier) continue;
    if (s.answers == answers) return false;
    ++held;
  }
  if (held >= kReplySlotsPerQuerier) return false;
  if (!free_slot) return false;
  *free_slot = ReplySlot{querier, answers, now_ms};
  return true;
}
