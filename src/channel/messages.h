#pragma once
// Message types of the receive protocol. Every encrypted frame carries one message:
// type (1 byte), flags (1 byte), body. The bodies are laid out by the receive session.

#include <cstdint>

constexpr uint8_t MSG_OFFER = 0x10;         // peer -> agent: files, a text or a link on offer
constexpr uint8_t MSG_ACCEPT = 0x11;        // agent -> peer: offer id, resume offsets
constexpr uint8_t MSG_REJECT = 0x12;        // agent -> peer: offer id, reason
constexpr uint8_t MSG_DATA = 0x20;          // peer -> agent: a run of file bytes
constexpr uint8_t MSG_FILE_END = 0x21;      // peer -> agent: digest of a whole file
constexpr uint8_t MSG_ACK = 0x22;           // agent -> peer: bytes of an item now stored
constexpr uint8_t MSG_FILE_RESULT = 0x23;   // agent -> peer: per-file status
constexpr uint8_t MSG_END = 0x30;           // peer -> agent: the peer is done
constexpr uint8_t MSG_NOOP = 0x40;          // consumed and ignored by the receiver
constexpr uint8_t MSG_TEXT = 0x50;          // peer -> agent: the text or link itself
constexpr uint8_t MSG_PAIR_CONFIRM = 0x60;  // both: the user confirmed the pairing code
constexpr uint8_t MSG_PAIR_DECLINE = 0x61;  // agent -> peer: the user declined
constexpr uint8_t MSG_TRUST_STATE = 0x62;   // both: whether this side trusts the other
constexpr uint8_t MSG_ERROR = 0x7F;         // both: code, text length, text

// Flags bit 0: a receiver that does not know the type may drop the message.
constexpr uint8_t MSG_FLAG_SKIPPABLE = 0x01;

// True for the types the channel hands to the session; everything else is
// either dropped (MSG_NOOP, skippable) or fails the read.
bool msg_type_delivered(uint8_t type);
