// The [MS-PST] CRC-32 (see crc.h). On x86-64 processors with carry-less
// multiplication, long inputs are folded 16 bytes at a time: a 128-bit
// remainder A*x^64 + B moves 128 bits forward as A*(x^160 mod P) +
// B*(x^96 mod P) xor the next 16 bytes, and the last remainder and tail go
// through the table loop. Elsewhere a slicing-by-16 table loop does it all.
#include "platform/pst/ndb/crc.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define PST_CRC_CLMUL 1
#endif

namespace pst::ndb {
namespace {

constexpr int kSlices = 16;
using Tables = std::array<std::array<uint32_t, 256>, kSlices>;

Tables MakeTables() {
  Tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (int s = 1; s < kSlices; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  }
  return t;
}

const Tables& GetTables() {
  static const Tables tables = MakeTables();
  return tables;
}

uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t TableCrc(uint32_t crc, const uint8_t* data, size_t n) {
  const Tables& t = GetTables();
  while (n >= 16) {
    uint32_t a = crc ^ Load32(data);
    uint32_t b = Load32(data + 4);
    uint32_t c = Load32(data + 8);
    uint32_t d = Load32(data + 12);
    crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
    data += 16;
    n -= 16;
  }
  while (n-- > 0) crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
  return crc;
}

#ifdef PST_CRC_CLMUL
// x^e mod P, bit-reflected into bits 32..1 of the result, as the folding
// multiplies expect.
uint64_t FoldConstant(int e) {
  uint64_t r = 1;
  for (int i = 0; i < e; ++i) {
    r <<= 1;
    if (r & (1ull << 32)) r ^= 0x104C11DB7ull;
  }
  uint32_t reflected = 0;
  for (int b = 0; b < 32; ++b) {
    if (r & (1ull << b)) reflected |= 1u << (31 - b);
  }
  return static_cast<uint64_t>(reflected) << 1;
}

__attribute__((target("pclmul,sse2"))) uint32_t ClmulCrc(uint32_t crc, const uint8_t* data,
                                                         size_t n) {
  static const uint64_t k_a = FoldConstant(160), k_b = FoldConstant(96);
  const __m128i k = _mm_set_epi64x(static_cast<long long>(k_b), static_cast<long long>(k_a));
  __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
  x = _mm_xor_si128(x, _mm_cvtsi32_si128(static_cast<int>(crc)));
  data += 16;
  n -= 16;
  while (n >= 16) {
    __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
    __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    x = _mm_xor_si128(_mm_xor_si128(lo, hi), next);
    data += 16;
    n -= 16;
  }
  alignas(16) uint8_t rest[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(rest), x);
  return TableCrc(TableCrc(0, rest, 16), data, n);
}

bool HaveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  return have;
}
#endif

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t n) {
#ifdef PST_CRC_CLMUL
  if (n >= 64 && HaveClmul()) return ClmulCrc(crc, data, n);
#endif
  return TableCrc(crc, data, n);
}

}  // namespace pst::ndb
