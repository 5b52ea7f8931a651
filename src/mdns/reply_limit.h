#pragma once
// How often the responder answers. Answering every query would let one querier make the
// agent flood the network; a single gap shared by everybody let one querier that asks a few
// times a second use every reply up, so that nobody else was ever answered. So the gap is
// kept per querier address and answer set: each querier's question is answered at most once
// per gap, and one querier holds only a few of the slots, so a flood from one address leaves
// every other querier its answers. The slots bound the replies of all queriers together.
//
// A plain value without a lock: the responder thread alone uses it.
#include <cstdint>

constexpr int kReplySlots = 16;
constexpr int kReplySlotsPerQuerier = 4;
constexpr uint64_t kReplyGapMs = 900;

struct ReplySlot {
  uint32_t querier;  // IPv4 address, host byte order
  int answers;       // the answer set (DnsAnswer bits); 0 marks a free slot
  uint64_t sent_ms;  // monotonic time of the reply
};

struct ReplyLimit {
  ReplySlot slots[kReplySlots];  // zero-filled: every slot free
};

// Whether a reply of answers to querier may go out at now_ms, and if so records it. No when
// that querier was given the same answer set less than kReplyGapMs ago, when it already has
// kReplySlotsPerQuerier other replies within the gap, or when every slot holds a reply of
// the last kReplyGapMs.
bool reply_limit_allow(ReplyLimit* limit, uint32_t querier, int answers, uint64_t now_ms);
