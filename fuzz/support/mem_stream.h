#pragma once
// An in-memory StreamOps for fuzz targets: the code under test reads the bytes queued in
// `in` and everything it sends lands in `out`. A target that plays the other side of a
// conversation fills `in` lazily from `refill` (asked whenever a read wants more than is
// queued) and watches the sends through `on_send`.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "channel/stream.h"

struct MemStream {
  StreamOps ops;  // what the code under test holds; ctx points back at this record
  std::vector<uint8_t> in;
  size_t in_pos = 0;
  std::vector<uint8_t> out;
  // What a read gets once nothing more comes: -3 (closed) or -2 (time ran out).
  int end_result = -3;
  // Sends fail (-1) once this many have succeeded; negative never fails.
  long sends_before_failure = -1;
  int close_calls = 0;
  std::function<bool()> refill;  // appends to `in`; false when nothing more will come
  std::function<void()> on_send; // called after each successful send

  MemStream();
  MemStream(const MemStream&) = delete;
  MemStream& operator=(const MemStream&) = delete;

  size_t queued() const { return in.size() - in_pos; }
  void queue(const void* data, size_t len);
  // Queues one frame: the 2-byte big-endian length (of len, cut to 16 bits) and the body.
  void queue_frame(const void* body, size_t len);
  // Takes the next complete frame the code under test sent from `out`; false when none.
  bool take_sent_frame(std::vector<uint8_t>* body);

 private:
  size_t out_pos_ = 0;
};
