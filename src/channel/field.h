#pragma once
// Cursors over message bodies: flat runs of fixed-width big-endian fields.
// Both carry a sticky failure flag so a caller performs a whole run of reads or
// writes and checks `failed` once at the end. Neither ever touches memory outside
// its body or buffer, and neither owns the bytes it points at.

#include <cstddef>
#include <cstdint>

struct FieldReader {
    const uint8_t* data;
    uint32_t len;
    uint32_t pos;    // 0 <= pos <= len
    int failed;      // 1 after the first read that did not fit; only reader_init clears it
};

struct FieldWriter {
    uint8_t* buf;
    uint32_t pos;    // bytes written so far
    uint32_t cap;
    int failed;      // 1 after the first write that did not fit; only writer_init clears it
};

// A null data pointer makes an empty body: every read fails and yields 0.
void reader_init(FieldReader* r, const void* data, uint32_t len);
uint32_t reader_remaining(const FieldReader* r);
// Pointer to the next n bytes inside the body, or null (and failed set) when they
// are not all there or the reader has already failed. n = 0 succeeds without moving.
const uint8_t* reader_take(FieldReader* r, uint32_t n);
// Integer reads: the big-endian value, or 0 with failed set; pos moves only on success.
uint8_t reader_u8(FieldReader* r);
uint16_t reader_u16(FieldReader* r);
uint32_t reader_u32(FieldReader* r);
uint64_t reader_u64(FieldReader* r);

void writer_init(FieldWriter* w, void* buf, uint32_t cap);
// Appends big-endian; a write that does not fit writes nothing and sets failed,
// and every later write is refused as well.
void writer_u8(FieldWriter* w, uint8_t v);
void writer_u16(FieldWriter* w, uint16_t v);
void writer_u32(FieldWriter* w, uint32_t v);
void writer_u64(FieldWriter* w, uint64_t v);
void writer_bytes(FieldWriter* w, const void* src, uint32_t n);
