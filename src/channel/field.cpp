#include "channel/field.h"

#include <cstring>

void reader_init(FieldReader* r, const void* data, uint32_t len) {
    r->data = static_cast<const uint8_t*>(data);
    r->len = data ? len : 0;
    r->pos = 0;
    r->failed = 0;
}

uint32_t reader_remaining(const FieldReader* r) { return r->len - r->pos; }

const uint8_t* reader_take(FieldReader* r, uint32_t n) {
    if (r->failed) return nullptr;
    if (r->len - r->pos < n) {
        r->failed = 1;
        return nullptr;
    }
    const uint8_t* p = r->data + r->pos;
    r->pos += n;
    return p;
}

// Most significant byte first; 0 when the bytes are not there.
static uint64_t read_be(FieldReader* r, uint32_t n) {
    const uint8_t* p = reader_take(r, n);
    uint64_t v = 0;
    if (!p) return 0;
    for (uint32_t i = 0; i < n; i++) v = (v << 8) | p[i];
    return v;
}

uint8_t reader_u8(FieldReader* r) { return static_cast<uint8_t>(read_be(r, 1)); }
uint16_t reader_u16(FieldReader* r) { return static_cast<uint16_t>(read_be(r, 2)); }
uint32_t reader_u32(FieldReader* r) { return static_cast<uint32_t>(read_be(r, 4)); }
uint64_t reader_u64(FieldReader* r) { return read_be(r, 8); }

void writer_init(FieldWriter* w, void* buf, uint32_t cap) {
    w->buf = static_cast<uint8_t*>(buf);
    w->pos = 0;
    w->cap = buf ? cap : 0;
    w->failed = 0;
}

// Room for n more bytes, or a sticky failure; never a partial write.
static uint8_t* reserve(FieldWriter* w, uint32_t n) {
    if (w->failed) return nullptr;
    if (w->cap - w->pos < n) {
        w->failed = 1;
        return nullptr;
    }
    uint8_t* p = w->buf + w->pos;
    w->pos += n;
    return p;
}

static void write_be(FieldWriter* w, uint64_t v, uint32_t n) {
    uint8_t* p = reserve(w, n);
    if (!p) return;
    for (uint32_t i = n; i > 0; i--) {
        p[i - 1] = static_cast<uint8_t>(v);
        v >>= 8;
    }
}

void writer_u8(FieldWriter* w, uint8_t v) { write_be(w, v, 1); }
void writer_u16(FieldWriter* w, uint16_t v) { write_be(w, v, 2); }
void writer_u32(FieldWriter* w, uint32_t v) { write_be(w, v, 4); }
void writer_u64(FieldWriter* w, uint64_t v) { write_be(w, v, 8); }

void writer_bytes(FieldWriter* w, const void* src, uint32_t n) {
    uint8_t* p = reserve(w, n);
    if (p && n > 0) std::memcpy(p, src, n);
}
