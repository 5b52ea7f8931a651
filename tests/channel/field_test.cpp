#include "channel/field.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(FieldReader, ShortReadFailsStickilyWithoutMoving) {
    const uint8_t body[] = {0xAB};
    FieldReader r;
    reader_init(&r, body, sizeof body);
    EXPECT_EQ(reader_u16(&r), 0);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(r.pos, 0u);
    // One byte is still there, but a failed reader never reads it.
    EXPECT_EQ(reader_u8(&r), 0);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(reader_take(&r, 0), nullptr);
}

TEST(FieldReader, ReadsBigEndianExactlyToTheEnd) {
    const uint8_t body[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                            0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
    FieldReader r;
    reader_init(&r, body, sizeof body);
    EXPECT_EQ(reader_u8(&r), 0x01);
    EXPECT_EQ(reader_u16(&r), 0x0203);
    EXPECT_EQ(reader_u32(&r), 0x04050607u);
    EXPECT_EQ(reader_u64(&r), 0x08090A0B0C0D0E0Full);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(reader_remaining(&r), 0u);
    EXPECT_EQ(reader_u8(&r), 0);
    EXPECT_EQ(r.failed, 1);
}

TEST(FieldReader, TakeWholeBodyAndOneMore) {
    const uint8_t body[] = {1, 2, 3, 4, 5};
    FieldReader r;
    reader_init(&r, body, sizeof body);
    EXPECT_EQ(reader_take(&r, 0), body);  // an empty run succeeds without moving
    EXPECT_EQ(reader_take(&r, sizeof body), body);
    EXPECT_EQ(reader_remaining(&r), 0u);
    EXPECT_EQ(r.failed, 0);

    reader_init(&r, body, sizeof body);
    EXPECT_EQ(reader_take(&r, sizeof body + 1), nullptr);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(reader_remaining(&r), sizeof body);
}

TEST(FieldReader, HugeTakeDoesNotWrapAround) {
    const uint8_t body[] = {1, 2, 3};
    FieldReader r;
    reader_init(&r, body, sizeof body);
    reader_u8(&r);
    EXPECT_EQ(reader_take(&r, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(r.failed, 1);
}

TEST(FieldReader, NullBodyYieldsZeros) {
    FieldReader r;
    reader_init(&r, nullptr, 16);
    EXPECT_EQ(reader_remaining(&r), 0u);
    EXPECT_EQ(reader_u32(&r), 0u);
    EXPECT_EQ(reader_u64(&r), 0u);
    EXPECT_EQ(r.failed, 1);
}

TEST(FieldWriter, WritesBigEndianAndReadsBack) {
    uint8_t buf[15];
    FieldWriter w;
    writer_init(&w, buf, sizeof buf);
    writer_u64(&w, 0x0102030405060708ull);
    writer_u32(&w, 0xA1A2A3A4u);
    writer_u16(&w, 0xB1B2);
    writer_u8(&w, 0xC1);
    ASSERT_EQ(w.failed, 0);
    ASSERT_EQ(w.pos, 15u);
    const uint8_t expect[] = {1, 2, 3, 4, 5, 6, 7, 8, 0xA1, 0xA2, 0xA3, 0xA4, 0xB1, 0xB2, 0xC1};
    EXPECT_EQ(std::memcmp(buf, expect, sizeof expect), 0);

    FieldReader r;
    reader_init(&r, buf, w.pos);
    EXPECT_EQ(reader_u64(&r), 0x0102030405060708ull);
    EXPECT_EQ(reader_u32(&r), 0xA1A2A3A4u);
    EXPECT_EQ(reader_u16(&r), 0xB1B2);
    EXPECT_EQ(reader_u8(&r), 0xC1);
    EXPECT_EQ(r.failed, 0);
}

TEST(FieldWriter, OverflowWritesNothingAndSticks) {
    uint8_t buf[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    FieldWriter w;
    writer_init(&w, buf, 3);
    writer_u16(&w, 0x1122);
    EXPECT_EQ(w.failed, 0);
    writer_u16(&w, 0x3344);  // needs 2, only 1 left
    EXPECT_EQ(w.failed, 1);
    EXPECT_EQ(w.pos, 2u);
    writer_u8(&w, 0x55);     // would fit, but the run has already failed
    writer_bytes(&w, "x", 1);
    EXPECT_EQ(w.pos, 2u);
    const uint8_t expect[] = {0x11, 0x22, 0xEE, 0xEE};
    EXPECT_EQ(std::memcmp(buf, expect, sizeof expect), 0);
}

TEST(FieldWriter, BytesFillExactlyToCapacity) {
    uint8_t buf[6] = {};
    FieldWriter w;
    writer_init(&w, buf, sizeof buf);
    writer_bytes(&w, "abc", 3);
    writer_bytes(&w, "", 0);
    writer_bytes(&w, "def", 3);
    EXPECT_EQ(w.failed, 0);
    EXPECT_EQ(w.pos, 6u);
    EXPECT_EQ(std::memcmp(buf, "abcdef", 6), 0);
    writer_bytes(&w, "g", 1);
    EXPECT_EQ(w.failed, 1);
    EXPECT_EQ(w.pos, 6u);
}
