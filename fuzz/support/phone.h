#pragma once
// The phone's half of a connection, for targets that talk to the agent through a
// MemStream: the initiator of the handshake (the product's own handshake state machine in
// the other role) and then the sending and receiving halves of the channel, counting and
// rekeying frames the way the channel does.

#include <cstdint>
#include <vector>

#include "channel/handshake.h"
#include "support/mem_stream.h"

struct Phone {
  HandshakeState hs;
  CipherState send{};
  CipherState recv{};
  uint64_t sent_count = 0;
  uint64_t recv_count = 0;

  // Message 1 with the fixed phone static key, the given ephemeral key and a clear payload;
  // the message is returned, not queued.
  std::vector<uint8_t> hello(const uint8_t ephemeral[32], const std::vector<uint8_t>& payload);
  // Reads the agent's message 2 from what it sent on s and returns message 3 with this
  // payload (sealed; not queued). Empty when message 2 has not come or does not verify.
  // Afterwards the transport keys are set.
  std::vector<uint8_t> answer(MemStream* s, const std::vector<uint8_t>& payload);
  // The body of one transport frame carrying plaintext, as channel_send makes it.
  std::vector<uint8_t> seal(const std::vector<uint8_t>& plaintext);
  // Opens one frame body the agent sent; false when it does not authenticate.
  bool open(const std::vector<uint8_t>& body, std::vector<uint8_t>* plaintext);
};

// What the agent says about itself in the targets: "fuzz agent", kind 1, version 1, 0x0F.
HandshakePayload fuzz_agent_payload();

// The handshake payload as the phone sends it: name, kind 2, version 1, the given features.
std::vector<uint8_t> phone_payload(const char* name, uint8_t version, uint32_t features);
