#pragma once
// Length-prefixed frames: a 2-byte big-endian body length L (0..65535), then L bytes.
// Handshake messages travel in them in clear, every later message encrypted.

#include <cstddef>
#include <cstdint>

#include "channel/stream.h"

constexpr size_t kFrameMaxBody = 65535;

// 0; -1 when len > 65535 (nothing sent); -3 when a send failed.
int frame_write(StreamOps* io, const void* data, size_t len);

// Reads one frame into buf (which holds max_len bytes). Returns the body length L
// (0 allowed); -2 when no byte of it arrived in time (nothing was taken from the stream);
// -3 when the connection closed or failed before the frame, or the frame began but did not
// arrive in full, a time-out inside it included (header or body: the stream is unusable);
// -4 when L > max_len (the body is left unread). timeout_ms applies to each wait for data.
int frame_read(StreamOps* io, void* buf, size_t max_len, int timeout_ms);

// The two halves of frame_read, for readers that pick the body's buffer by its length.
// frame_read_length: L, or -2/-3 as above; the frame's first byte is waited for up to
// wait_ms, the rest of its length as part of a frame that began, with timeout_ms.
// frame_read_body: 0, or -3.
int frame_read_length(StreamOps* io, int wait_ms, int timeout_ms);
int frame_read_body(StreamOps* io, void* buf, size_t len, int timeout_ms);
// As frame_read_body, but a body that has already arrived whole in the stream's own buffer
// stays there: *body points at it (until the next read from io), otherwise at buf.
int frame_take_body(StreamOps* io, uint8_t* buf, size_t len, int timeout_ms,
                    const uint8_t** body);
