#pragma once
// Fuzz inputs read front to back as a little script of fields, and the writer that lays out
// seed inputs the same way. Reads past the end yield zeros and empty byte runs, so every
// input is a valid script.

#include <cstddef>
#include <cstdint>
#include <vector>

struct ScriptReader {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;

  ScriptReader(const uint8_t* d, size_t n) : data(d), size(n) {}
  bool done() const { return pos >= size; }
  size_t left() const { return size - pos; }
  uint8_t u8() { return pos < size ? data[pos++] : 0; }
  uint16_t u16() {
    uint16_t hi = u8();
    return uint16_t((hi << 8) | u8());
  }
  uint32_t u32() {
    uint32_t hi = u16();
    return (hi << 16) | u16();
  }
  uint64_t u64() {
    uint64_t hi = u32();
    return (hi << 32) | u32();
  }
  // Up to n bytes (fewer at the end of the input).
  std::vector<uint8_t> bytes(size_t n) {
    if (n > left()) n = left();
    std::vector<uint8_t> out(data + pos, data + pos + n);
    pos += n;
    return out;
  }
  // A run with a 16-bit length in front, the length cut to `max`.
  std::vector<uint8_t> blob(size_t max) {
    size_t n = u16();
    return bytes(n < max ? n : max);
  }
  std::vector<uint8_t> rest() { return bytes(left()); }
};

struct ScriptWriter {
  std::vector<uint8_t> out;
  void u8(uint8_t v) { out.push_back(v); }
  void u16(uint16_t v) {
    u8(uint8_t(v >> 8));
    u8(uint8_t(v));
  }
  void u32(uint32_t v) {
    u16(uint16_t(v >> 16));
    u16(uint16_t(v));
  }
  void u64(uint64_t v) {
    u32(uint32_t(v >> 32));
    u32(uint32_t(v));
  }
  void bytes(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
  }
  void bytes(const std::vector<uint8_t>& v) { bytes(v.data(), v.size()); }
  void blob(const std::vector<uint8_t>& v) {
    u16(uint16_t(v.size()));
    bytes(v);
  }
};
