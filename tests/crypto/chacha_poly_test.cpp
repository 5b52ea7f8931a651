#include <cstring>

#include "crypto/aead.h"
#include "crypto/chacha20.h"
#include "crypto/poly1305.h"
#include "crypto_test_util.h"
#include "support/testdata.h"

namespace {

const char kSunscreen[] =
    "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the "
    "future, sunscreen would be it.";
const char kIetfContribution[] =
    "Any submission to the IETF intended by the Contributor for publication as all or part of "
    "an IETF Internet-Draft or RFC and any statement made within the context of an IETF "
    "activity is considered an \"IETF Contribution\". Such statements include oral statements "
    "in IETF sessions, as well as written and electronic communications made at any time or "
    "place, which are addressed to";
const char kJabberwocky[] =
    "'Twas brillig, and the slithy toves\nDid gyre and gimble in the wabe:\nAll mimsy were the "
    "borogoves,\nAnd the mome raths outgrabe.";

const char kKey00To1f[] = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
const char kKey80To9f[] = "808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f";
const char kKeyA2[] = "1c9240a5eb55d38af333888604f6b5f0473917c1402b80099dca5cbc207075c0";

std::string poly_hex(const Bytes& key, const Bytes& msg, size_t piece = 0) {
  Poly1305Ctx ctx;
  poly1305_init(&ctx, key.data());
  if (piece == 0) piece = msg.size() ? msg.size() : 1;
  for (size_t off = 0; off < msg.size(); off += piece)
    poly1305_update(&ctx, msg.data() + off, std::min(piece, msg.size() - off));
  uint8_t tag[16];
  poly1305_finish(&ctx, tag);
  return hex(tag, 16);
}

Bytes xor_stream(const Bytes& key, const Bytes& nonce, uint32_t counter, const Bytes& in) {
  Bytes out(in.size());
  chacha20_xor(key.data(), nonce.data(), counter, in.data(), out.data(), in.size());
  return out;
}

Bytes seal(const Bytes& key, const Bytes& nonce, const Bytes& ad, const Bytes& pt) {
  Bytes out(pt.size() + 16);
  EXPECT_EQ(aead_seal(key.data(), nonce.data(), ad.data(), ad.size(), pt.data(), pt.size(),
                      out.data()),
            0);
  return out;
}

class ChaCha20 : public BothPaths {};
INSTANTIATE_BOTH_PATHS(ChaCha20);
class Poly1305 : public BothPaths {};
INSTANTIATE_BOTH_PATHS(Poly1305);
class Aead : public BothPaths {};
INSTANTIATE_BOTH_PATHS(Aead);

// Block function vectors: the worked example and the additional block vectors.
TEST_P(ChaCha20, BlockVectors) {
  struct Case {
    const char* key;
    const char* nonce;
    uint32_t counter;
    const char* block;
  } cases[] = {
      {kKey00To1f, "000000090000004a00000000", 1,
       "10f1e7e4d13b5915500fdd1fa32071c4c7d1f4c733c068030422aa9ac3d46c4e"
       "d2826446079faa0914c2d705d98b02a2b5129cd1de164eb9cbd083e8a2503c4e"},
      {"", "000000000000000000000000", 0,
       "76b8e0ada0f13d90405d6ae55386bd28bdd219b8a08ded1aa836efcc8b770dc7"
       "da41597c5157488d7724e03fb8d84a376a43b8f41518a11cc387b669b2ee6586"},
      {"", "000000000000000000000000", 1,
       "9f07e7be5551387a98ba977c732d080dcb0f29a048e3656912c6533e32ee7aed"
       "29b721769ce64e43d57133b074d839d531ed1f28510afb45ace10a1f4b794d6f"},
      {"0000000000000000000000000000000000000000000000000000000000000001",
       "000000000000000000000000", 1,
       "3aeb5224ecf849929b9d828db1ced4dd832025e8018b8160b82284f3c949aa5a"
       "8eca00bbb4a73bdad192b5c42f73f2fd4e273644c8b36125a64addeb006c13a0"},
      {"00ff000000000000000000000000000000000000000000000000000000000000",
       "000000000000000000000000", 2,
       "72d54dfbf12ec44b362692df94137f328fea8da73990265ec1bbbea1ae9af0ca"
       "13b25aa26cb4a648cb9b9d1be65b2c0924a66c54d545ec1b7374f4872e99f096"},
      {"", "000000000000000000000002", 0,
       "c2c64d378cd536374ae204b9ef933fcd1a8b2288b3dfa49672ab765b54ee27c7"
       "8a970e0e955c14f3a88e741b97c286f75f8fc299e8148362fa198a39531bed6d"},
  };
  for (const Case& c : cases) {
    Bytes key = *c.key ? unhex(c.key) : Bytes(32, 0);
    Bytes nonce = unhex(c.nonce);
    uint8_t block[64];
    chacha20_block(key.data(), nonce.data(), c.counter, block);
    EXPECT_EQ(hex(block, 64), c.block) << "counter " << c.counter << " nonce " << c.nonce;
    // The same keystream through the bulk path.
    EXPECT_EQ(hex(xor_stream(key, nonce, c.counter, Bytes(64, 0))), c.block);
  }
}

TEST_P(ChaCha20, EncryptionVectors) {
  struct Case {
    const char* key;
    const char* nonce;
    uint32_t counter;
    Bytes plaintext;
    const char* ciphertext;
  } cases[] = {
      {kKey00To1f, "000000000000004a00000000", 1, text_bytes(kSunscreen),
       "6e2e359a2568f98041ba0728dd0d6981e97e7aec1d4360c20a27afccfd9fae0b"
       "f91b65c5524733ab8f593dabcd62b3571639d624e65152ab8f530c359f0861d8"
       "07ca0dbf500d6a6156a38e088a22b65e52bc514d16ccf806818ce91ab7793736"
       "5af90bbf74a35be6b40b8eedf2785e42874d"},
      {"0000000000000000000000000000000000000000000000000000000000000000",
       "000000000000000000000000", 0, Bytes(64, 0),
       "76b8e0ada0f13d90405d6ae55386bd28bdd219b8a08ded1aa836efcc8b770dc7"
       "da41597c5157488d7724e03fb8d84a376a43b8f41518a11cc387b669b2ee6586"},
      {"0000000000000000000000000000000000000000000000000000000000000001",
       "000000000000000000000002", 1, text_bytes(kIetfContribution),
       "a3fbf07df3fa2fde4f376ca23e82737041605d9f4f4f57bd8cff2c1d4b7955ec"
       "2a97948bd3722915c8f3d337f7d370050e9e96d647b7c39f56e031ca5eb6250d"
       "4042e02785ececfa4b4bb5e8ead0440e20b6e8db09d881a7c6132f420e527950"
       "42bdfa7773d8a9051447b3291ce1411c680465552aa6c405b7764d5e87bea85a"
       "d00f8449ed8f72d0d662ab052691ca66424bc86d2df80ea41f43abf937d3259d"
       "c4b2d0dfb48a6c9139ddd7f76966e928e635553ba76c5c879d7b35d49eb2e62b"
       "0871cdac638939e25e8a1e0ef9d5280fa8ca328b351c3c765989cbcf3daa8b6c"
       "cc3aaf9f3979c92b3720fc88dc95ed84a1be059c6499b9fda236e7e818b04b0b"
       "c39c1e876b193bfe5569753f88128cc08aaa9b63d1a16f80ef2554d7189c411f"
       "5869ca52c5b83fa36ff216b9c1d30062bebcfd2dc5bce0911934fda79a86f6e6"
       "98ced759c3ff9b6477338f3da4f9cd8514ea9982ccafb341b2384dd902f3d1ab"
       "7ac61dd29c6f21ba5b862f3730e37cfdc4fd806c22f221"},
      {kKeyA2, "000000000000000000000002", 42, text_bytes(kJabberwocky),
       "62e6347f95ed87a45ffae7426f27a1df5fb69110044c0d73118effa95b01e5cf"
       "166d3df2d721caf9b21e5fb14c616871fd84c54f9d65b283196c7fe4f60553eb"
       "f39c6402c42234e32a356b3e764312a61a5532055716ead6962568f87d3f3f77"
       "04c6a8d1bcd1bf4d50d6154b6da731b187b58dfd728afa36757a797ac188d1"},
  };
  for (const Case& c : cases) {
    Bytes key = unhex(c.key), nonce = unhex(c.nonce);
    EXPECT_EQ(hex(xor_stream(key, nonce, c.counter, c.plaintext)), c.ciphertext)
        << "counter " << c.counter << " length " << c.plaintext.size();
    // Decryption is the same operation, in place.
    Bytes buf = unhex(c.ciphertext);
    chacha20_xor(key.data(), nonce.data(), c.counter, buf.data(), buf.data(), buf.size());
    EXPECT_EQ(buf, c.plaintext);
  }
}

// Splitting a stream at any block boundary and continuing with the next counter gives the
// same bytes; lengths cover the one-, four- and eight-block groups and partial tails.
TEST_P(ChaCha20, SplitStreamEqualsWholeStream) {
  Bytes key = pattern(32, 3), nonce = pattern(12, 4);
  Bytes msg = pattern(64 * 21 + 17, 5);
  Bytes whole = xor_stream(key, nonce, 7, msg);
  for (size_t first_blocks : {0u, 1u, 3u, 4u, 5u, 8u, 9u, 16u, 21u}) {
    size_t split = first_blocks * 64;
    Bytes out(msg.size());
    chacha20_xor(key.data(), nonce.data(), 7, msg.data(), out.data(), split);
    chacha20_xor(key.data(), nonce.data(), 7 + uint32_t(first_blocks), msg.data() + split,
                 out.data() + split, msg.size() - split);
    EXPECT_EQ(hex(out), hex(whole)) << "split after " << first_blocks << " blocks";
  }
  for (size_t len = 0; len <= 64 * 17; len += 61) {
    Bytes part = xor_stream(key, nonce, 7, Bytes(msg.begin(), msg.begin() + long(len)));
    EXPECT_EQ(hex(part), hex(whole).substr(0, 2 * len)) << "length " << len;
  }
}

// The counter is 32 bits and wraps; the nonce words are not touched by the carry.
TEST_P(ChaCha20, CounterWrapsWithinThirtyTwoBits) {
  Bytes key = pattern(32, 8), nonce = pattern(12, 9);
  Bytes stream = xor_stream(key, nonce, 0xfffffffe, Bytes(64 * 10, 0));
  for (uint32_t i = 0; i < 10; i++) {
    uint8_t block[64];
    chacha20_block(key.data(), nonce.data(), 0xfffffffe + i, block);
    EXPECT_EQ(hex(stream.data() + 64 * i, 64), hex(block, 64)) << "block " << i;
  }
}

TEST_P(Poly1305, Vectors) {
  const std::string r2 = "0200000000000000000000000000000000000000000000000000000000000000";
  const std::string r1 = "0100000000000000000000000000000000000000000000000000000000000000";
  struct Case {
    std::string key;
    Bytes msg;
    const char* tag;
  } cases[] = {
      {"85d6be7857556d337f4452fe42d506a80103808afb0db2fd4abff6af4149f51b",
       text_bytes("Cryptographic Forum Research Group"), "a8061dc1305136c6c22b8baf0c0127a9"},
      {std::string(64, '0'), Bytes(64, 0), "00000000000000000000000000000000"},
      {"0000000000000000000000000000000036e5f6b5c5e06070f0efca96227a863e",
       text_bytes(kIetfContribution), "36e5f6b5c5e06070f0efca96227a863e"},
      {"36e5f6b5c5e06070f0efca96227a863e00000000000000000000000000000000",
       text_bytes(kIetfContribution), "f3477e7cd95417af89a6b8794c310cf0"},
      {kKeyA2, text_bytes(kJabberwocky), "4541669a7eaaee61e708dc7cbcc5eb62"},
      // Partially reduced result that is not fully reduced.
      {r2, unhex("ffffffffffffffffffffffffffffffff"), "03000000000000000000000000000000"},
      // Adding s overflows 2^128.
      {"02000000000000000000000000000000ffffffffffffffffffffffffffffffff",
       unhex("02000000000000000000000000000000"), "03000000000000000000000000000000"},
      // A data limb of all ones with a carry from the limb below.
      {r1,
       unhex("ffffffffffffffffffffffffffffffff f0ffffffffffffffffffffffffffffff"
             "11000000000000000000000000000000"),
       "05000000000000000000000000000000"},
      // The polynomial ends exactly at 2^130 - 5 ...
      {r1,
       unhex("ffffffffffffffffffffffffffffffff fbfefefefefefefefefefefefefefefe"
             "01010101010101010101010101010101"),
       "00000000000000000000000000000000"},
      // ... and at 2^130 - 6.
      {r2, unhex("fdffffffffffffffffffffffffffffff"), "faffffffffffffffffffffffffffffff"},
      // 5*H+L reductions with a 131-bit intermediate and a 131-bit final value.
      {"0100000000000000040000000000000000000000000000000000000000000000",
       unhex("e33594d7505e43b90000000000000000 3394d7505e4379cd0100000000000000"
             "00000000000000000000000000000000 01000000000000000000000000000000"),
       "14000000000000005500000000000000"},
      {"0100000000000000040000000000000000000000000000000000000000000000",
       unhex("e33594d7505e43b90000000000000000 3394d7505e4379cd0100000000000000"
             "00000000000000000000000000000000"),
       "13000000000000000000000000000000"},
      // r = 1 and all-ones blocks: the third block's fold carries out of the lowest word
      // through an all-ones middle word into the top bits (h = 2^130 + 1 = 6 at the end).
      {r1, Bytes(64, 0xff), "06000000000000000000000000000000"},
  };
  int n = 0;
  for (const Case& c : cases) {
    Bytes key = unhex(c.key);
    EXPECT_EQ(poly_hex(key, c.msg), c.tag) << "case " << n;
    EXPECT_EQ(poly_hex(key, c.msg, 1), c.tag) << "case " << n << " byte by byte";
    n++;
  }
}

TEST_P(Poly1305, StreamingInAnyPiecesEqualsOneShot) {
  Bytes key = pattern(32, 21);
  for (size_t len : {0u, 1u, 15u, 16u, 17u, 63u, 64u, 65u, 255u, 256u, 1000u, 4099u}) {
    Bytes msg = pattern(len, uint32_t(len) + 1);
    std::string whole = poly_hex(key, msg);
    for (size_t piece : {1u, 3u, 15u, 16u, 17u, 64u, 100u, 1024u})
      EXPECT_EQ(poly_hex(key, msg, piece), whole) << "len " << len << " piece " << piece;
  }
}

TEST_P(Poly1305, FinishWipesTheContext) {
  Bytes key = pattern(32, 22), msg = pattern(37, 23);
  Poly1305Ctx ctx;
  poly1305_init(&ctx, key.data());
  poly1305_update(&ctx, msg.data(), msg.size());
  uint8_t tag[16];
  poly1305_finish(&ctx, tag);
  Poly1305Ctx zero;
  memset(&zero, 0, sizeof zero);
  EXPECT_EQ(memcmp(&ctx, &zero, sizeof ctx), 0);
}

TEST_P(ChaCha20, PolyKeyFromBlockZero) {
  struct Case {
    const char* key;
    const char* nonce;
    const char* otk;
  } cases[] = {
      {kKey80To9f, "000000000001020304050607",
       "8ad5a08b905f81cc815040274ab29471a833b637e3fd0da508dbb8e2fdd1a646"},
      {"0000000000000000000000000000000000000000000000000000000000000000",
       "000000000000000000000000",
       "76b8e0ada0f13d90405d6ae55386bd28bdd219b8a08ded1aa836efcc8b770dc7"},
      {"0000000000000000000000000000000000000000000000000000000000000001",
       "000000000000000000000002",
       "ecfa254f845f647473d3cb140da9e87606cb33066c447b87bc2666dde3fbb739"},
      {kKeyA2, "000000000000000000000002",
       "965e3bc6f9ec7ed9560808f4d229f94b137ff275ca9b3fcbdd59deaad23310ae"},
  };
  for (const Case& c : cases) {
    uint8_t block[64];
    chacha20_block(unhex(c.key).data(), unhex(c.nonce).data(), 0, block);
    EXPECT_EQ(hex(block, 32), c.otk);
  }
}

TEST_P(Aead, SealVector) {
  Bytes key = unhex(kKey80To9f), nonce = unhex("070000004041424344454647");
  Bytes ad = unhex("50515253c0c1c2c3c4c5c6c7");
  Bytes pt = text_bytes(kSunscreen);
  const std::string ct =
      "d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d6"
      "3dbea45e8ca9671282fafb69da92728b1a71de0a9e060b2905d6a5b67ecd3b36"
      "92ddbd7f2d778b8c9803aee328091b58fab324e4fad675945585808b4831d7bc"
      "3ff4def08e4b7a9de576d26586cec64b6116";
  const std::string tag = "1ae10b594f09e26a7e902ecbd0600691";
  EXPECT_EQ(hex(seal(key, nonce, ad, pt)), ct + tag);
}

TEST_P(Aead, OpenVector) {
  Bytes key = unhex(kKeyA2), nonce = unhex("000000000102030405060708");
  Bytes ad = unhex("f33388860000000000004e91");
  Bytes sealed = unhex(
      "64a0861575861af460f062c79be643bd5e805cfd345cf389f108670ac76c8cb2"
      "4c6cfc18755d43eea09ee94e382d26b0bdb7b73c321b0100d4f03b7f355894cf"
      "332f830e710b97ce98c8a84abd0b948114ad176e008d33bd60f982b1ff37c855"
      "9797a06ef4f0ef61c186324e2b3506383606907b6a7c02b0f9f6157b53c867e4"
      "b9166c767b804d46a59b5216cde7a4e99040c5a40433225ee282a1b0a06c523e"
      "af4534d7f83fa1155b0047718cbc546a0d072b04b3564eea1b422273f548271a"
      "0bb2316053fa76991955ebd63159434ecebb4e466dae5a1073a6727627097a10"
      "49e617d91d361094fa68f0ff77987130305beaba2eda04df997b714d6c6f2c29"
      "a6ad5cb4022b02709b"
      "eead9d67890cbb22392336fea1851f38");
  const std::string pt =
      "Internet-Drafts are draft documents valid for a maximum of six months and may be "
      "updated, replaced, or obsoleted by other documents at any time. It is inappropriate to "
      "use Internet-Drafts as reference material or to cite them other than as "
      "/\xe2\x80\x9cwork in progress./\xe2\x80\x9d";
  size_t len = sealed.size() - 16;
  ASSERT_EQ(len, pt.size());
  Bytes out(len);
  ASSERT_EQ(aead_open(key.data(), nonce.data(), ad.data(), ad.size(), sealed.data(), len,
                      out.data()),
            0);
  EXPECT_EQ(std::string(out.begin(), out.end()), pt);
}

// Lengths around the 16-byte padding and the 64-byte keystream block, for ad and message.
TEST_P(Aead, RoundTripAcrossPaddingLengths) {
  Bytes key = pattern(32, 31), nonce = pattern(12, 32);
  for (size_t ad_len : {0u, 1u, 15u, 16u, 17u, 64u, 65u}) {
    for (size_t len : {0u, 1u, 15u, 16u, 17u, 63u, 64u, 65u, 129u, 511u, 512u, 513u, 1100u}) {
      Bytes ad = pattern(ad_len, 33), pt = pattern(len, uint32_t(len));
      Bytes sealed = seal(key, nonce, ad, pt);
      ASSERT_EQ(sealed.size(), len + 16);
      Bytes out(len + 1, 0x5a);
      ASSERT_EQ(aead_open(key.data(), nonce.data(), ad_len ? ad.data() : nullptr, ad_len,
                          sealed.data(), len, out.data()),
                0)
          << "ad " << ad_len << " len " << len;
      EXPECT_EQ(Bytes(out.begin(), out.begin() + long(len)), pt);
      EXPECT_EQ(out[len], 0x5a) << "open wrote past len";
    }
  }
}

TEST_P(Aead, EmptyMessageIsOnlyTheTag) {
  Bytes key = pattern(32, 41), nonce = pattern(12, 42), ad = text_bytes("ad");
  uint8_t out[17];
  memset(out, 0x77, sizeof out);
  ASSERT_EQ(aead_seal(key.data(), nonce.data(), ad.data(), ad.size(), nullptr, 0, out), 0);
  EXPECT_EQ(out[16], 0x77) << "seal of nothing writes only 16 bytes";
  uint8_t plain = 0x33;
  EXPECT_EQ(aead_open(key.data(), nonce.data(), ad.data(), ad.size(), out, 0, &plain), 0);
  EXPECT_EQ(plain, 0x33);
  out[5] ^= 1;
  EXPECT_EQ(aead_open(key.data(), nonce.data(), ad.data(), ad.size(), out, 0, &plain), -1);
}

// Every single-bit change of ciphertext, tag or ad is refused and out stays as it was.
TEST_P(Aead, AnyFlippedBitIsRefusedAndOutIsUntouched) {
  Bytes key = pattern(32, 51), nonce = pattern(12, 52), ad = pattern(19, 53);
  Bytes pt = pattern(37, 54);
  const Bytes sealed = seal(key, nonce, ad, pt);
  const Bytes sentinel(pt.size(), 0xc3);
  for (size_t bit = 0; bit < sealed.size() * 8; bit++) {
    Bytes bad = sealed;
    bad[bit / 8] ^= uint8_t(1 << (bit % 8));
    Bytes out = sentinel;
    EXPECT_EQ(aead_open(key.data(), nonce.data(), ad.data(), ad.size(), bad.data(), pt.size(),
                        out.data()),
              -1)
        << "bit " << bit;
    EXPECT_EQ(out, sentinel) << "bit " << bit;
  }
  for (size_t bit = 0; bit < ad.size() * 8; bit++) {
    Bytes bad_ad = ad;
    bad_ad[bit / 8] ^= uint8_t(1 << (bit % 8));
    Bytes out = sentinel;
    EXPECT_EQ(aead_open(key.data(), nonce.data(), bad_ad.data(), bad_ad.size(), sealed.data(),
                        pt.size(), out.data()),
              -1)
        << "ad bit " << bit;
    EXPECT_EQ(out, sentinel);
  }
  // A wrong nonce or key is just as wrong.
  Bytes other_nonce = nonce;
  other_nonce[11] ^= 1;
  Bytes out = sentinel;
  EXPECT_EQ(aead_open(key.data(), other_nonce.data(), ad.data(), ad.size(), sealed.data(),
                      pt.size(), out.data()),
            -1);
}

// Past 2^32 - 1 blocks the counter would wrap onto keystream already used: refused before
// any byte is read or written (the buffers here are far smaller than the lengths claimed).
TEST_P(Aead, LengthsBeyondTheCounterAreRefused) {
  if (sizeof(size_t) < 8) GTEST_SKIP() << "size_t cannot express such lengths";
  Bytes key = pattern(32, 71), nonce = pattern(12, 72);
  uint8_t small[64];
  memset(small, 0x5c, sizeof small);
  const size_t too_long = size_t(kAeadMaxLength) + 1;
  EXPECT_EQ(aead_seal(key.data(), nonce.data(), nullptr, 0, small, too_long, small), -1);
  EXPECT_EQ(aead_open(key.data(), nonce.data(), nullptr, 0, small, too_long, small), -1);
  for (uint8_t b : small) ASSERT_EQ(b, 0x5c);
  // The limit is the published maximum plaintext size, 274,877,906,880 bytes.
  EXPECT_EQ(kAeadMaxLength, 274877906880u);
}

// Sealing and opening in one buffer, as the frame layer does, equals separate buffers.
TEST_P(Aead, InPlaceEqualsSeparateBuffers) {
  Bytes key = pattern(32, 61), nonce = pattern(12, 62), ad = pattern(13, 63);
  for (size_t len : {0u, 1u, 64u, 100u, 4096u, 65535u}) {
    Bytes pt = pattern(len, 64);
    Bytes separate = seal(key, nonce, ad, pt);
    Bytes buf = pt;
    buf.resize(len + 16);
    ASSERT_EQ(aead_seal(key.data(), nonce.data(), ad.data(), ad.size(), buf.data(), len,
                        buf.data()),
              0);
    EXPECT_EQ(buf, separate) << "seal in place, len " << len;
    ASSERT_EQ(aead_open(key.data(), nonce.data(), ad.data(), ad.size(), buf.data(), len,
                        buf.data()),
              0);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + long(len)), pt) << "open in place, len " << len;
  }
}

TEST_P(Aead, Wycheproof) {
  FL_REQUIRE_TESTDATA();
  JsonValue doc;
  std::string err;
  ASSERT_TRUE(
      json_load_file(testdata_dir() + "/wycheproof/chacha20_poly1305_test.json", &doc, &err))
      << err;
  int checked = 0;
  for (const JsonValue& group : doc["testGroups"].items()) {
    if (group["ivSize"].as_int() != 96) continue;
    for (const JsonValue& t : group["tests"].items()) {
      std::string id = "tcId " + std::to_string(t["tcId"].as_int()) + " " +
                       t["comment"].as_string();
      Bytes key = unhex(t["key"].as_string()), iv = unhex(t["iv"].as_string());
      Bytes ad = unhex(t["aad"].as_string()), msg = unhex(t["msg"].as_string());
      Bytes ct = unhex(t["ct"].as_string()), tag = unhex(t["tag"].as_string());
      ASSERT_EQ(iv.size(), 12u) << id;
      bool valid = t["result"].as_string() == "valid";
      if (valid) {
        Bytes expected = ct;
        expected.insert(expected.end(), tag.begin(), tag.end());
        EXPECT_EQ(hex(seal(key, iv, ad, msg)), hex(expected)) << id;
      }
      Bytes input = ct;
      input.insert(input.end(), tag.begin(), tag.end());
      Bytes out(ct.size(), 0xee);
      int r = tag.size() == 16 ? aead_open(key.data(), iv.data(), ad.data(), ad.size(),
                                           input.data(), ct.size(), out.data())
                               : -1;
      EXPECT_EQ(r, valid ? 0 : -1) << id;
      if (valid) {
        EXPECT_EQ(hex(out), hex(msg)) << id;
      } else {
        EXPECT_EQ(out, Bytes(ct.size(), 0xee)) << id;
      }
      checked++;
    }
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
