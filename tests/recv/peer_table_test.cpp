#include "recv/peer_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t kA = 0x0A000001, kB = 0x0A000002, kC = 0x0A000003, kD = 0x0A000004,
                   kE = 0x0A000005;

// One step of a scripted sequence and what it must answer.
enum Op { ENTER, LEAVE, BEGIN_PAIRING, END_PAIRING };
struct Step {
  Op op;
  uint32_t ip;
  bool expect;  // the answer of ENTER and BEGIN_PAIRING; ignored for the others
  const char* why;
};

void run(const std::vector<Step>& steps) {
  PeerTable t{};
  for (const Step& s : steps) {
    switch (s.op) {
      case ENTER: EXPECT_EQ(peer_table_enter(&t, s.ip), s.expect) << s.why; break;
      case LEAVE: peer_table_leave(&t, s.ip); break;
      case BEGIN_PAIRING: EXPECT_EQ(peer_table_begin_pairing(&t, s.ip), s.expect) << s.why; break;
      case END_PAIRING: peer_table_end_pairing(&t, s.ip); break;
    }
  }
}

TEST(PeerTable, AnAddressHoldsAtMostTwoWorkersAndOthersKeepTheirShare) {
  run({{ENTER, kA, true, "first of A"},
       {ENTER, kA, true, "second of A"},
       {ENTER, kA, false, "a third of A is refused"},
       {ENTER, kB, true, "B is served while A holds two"},
       {ENTER, kB, true, "and may hold two of its own"},
       {LEAVE, kA, true, ""},
       {ENTER, kA, true, "a freed worker of A can be taken again by A"},
       {ENTER, kA, false, "but not beyond two"}});
}

TEST(PeerTable, AFreedSlotGoesToAnotherAddress) {
  run({{ENTER, kA, true, ""},
       {ENTER, kB, true, ""},
       {ENTER, kC, true, ""},
       {ENTER, kD, true, ""},
       {ENTER, kE, false, "four addresses hold every slot"},
       {LEAVE, kC, true, ""},
       {ENTER, kE, true, "C's slot went free with its last worker"},
       {LEAVE, kE, true, "leaving an address twice changes nothing"},
       {LEAVE, kE, true, ""},
       {ENTER, kA, true, "A still counts one worker"},
       {ENTER, kA, false, "so a third is refused"}});
}

TEST(PeerTable, OnePairingPromptPerAddress) {
  run({{BEGIN_PAIRING, kA, false, "no worker of A: no prompt to claim"},
       {ENTER, kA, true, ""},
       {ENTER, kA, true, ""},
       {BEGIN_PAIRING, kA, true, "the first prompt of A"},
       {BEGIN_PAIRING, kA, false, "a second one while it is open is refused"},
       {ENTER, kB, true, ""},
       {BEGIN_PAIRING, kB, true, "another address may prompt meanwhile"},
       {END_PAIRING, kA, true, ""},
       {BEGIN_PAIRING, kA, true, "once answered, A may prompt again"},
       {LEAVE, kA, true, ""},
       {LEAVE, kA, true, ""},
       {ENTER, kA, true, "a slot taken afresh starts without a prompt"},
       {BEGIN_PAIRING, kA, true, "so its first prompt is allowed"}});
}

}  // namespace
