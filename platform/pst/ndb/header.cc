// Header encoding (see header.h). Field offsets follow the Unicode layout.
#include "platform/pst/ndb/header.h"

#include <cstring>

#include "platform/pst/ndb/crc.h"
#include "platform/pst/ndb/format.h"

namespace pst::ndb {

void InitialNidCounters(uint32_t* rgnid) {
  for (int t = 0; t < 32; ++t) rgnid[t] = 0x400;
  rgnid[0x02] = 0x400;    // NID_TYPE_NORMAL_FOLDER
  rgnid[0x03] = 0x4000;   // NID_TYPE_SEARCH_FOLDER
  rgnid[0x04] = 0x10000;  // NID_TYPE_NORMAL_MESSAGE
  rgnid[0x08] = 0x8000;   // NID_TYPE_ASSOC_MESSAGE
}

void EncodeHeader(const HeaderFields& h, uint8_t* out) {
  std::memset(out, 0, kHeaderSize);
  std::memcpy(out, "!BDN", 4);                        // dwMagic
  Put16(out + 8, 0x4D53);                             // wMagicClient "SM"
  Put16(out + 10, kHeaderVersionUnicode);             // wVer
  Put16(out + 12, kHeaderClientVersion);              // wVerClient
  out[14] = 0x01;                                     // bPlatformCreate
  out[15] = 0x01;                                     // bPlatformAccess
  // dwReserved1 (16), dwReserved2 (20), bidUnused (24): zero.
  Put64(out + 32, h.bid_next_p);                      // bidNextP
  Put32(out + 40, h.unique);                          // dwUnique
  for (int t = 0; t < 32; ++t) Put32(out + 44 + 4 * t, h.rgnid[t]);
  // qwUnused (172): zero.
  uint8_t* root = out + 180;                          // ROOT
  Put64(root + 4, h.ib_file_eof);
  Put64(root + 12, h.ib_amap_last);
  Put64(root + 20, h.cb_amap_free);
  Put64(root + 28, h.cb_pmap_free);
  Put64(root + 36, h.nbt.bid);
  Put64(root + 44, h.nbt.ib);
  Put64(root + 52, h.bbt.bid);
  Put64(root + 60, h.bbt.ib);
  root[68] = kAMapValid2;                             // fAMapValid
  // dwAlign (252): zero.
  std::memcpy(out + 256, h.rgb_fm, 128);
  std::memcpy(out + 384, h.rgb_fp, 128);
  out[512] = 0x80;                                    // bSentinel
  out[513] = kCryptNone;                              // bCryptMethod
  Put64(out + 516, h.bid_next_b);                     // bidNextB
  // rgbReserved2, bReserved, rgbReserved3 (528..563): zero.
  Put32(out + 4, Crc32(0, out + 8, 471));             // dwCRCPartial
  Put32(out + 524, Crc32(0, out + 8, 516));           // dwCRCFull
}

}  // namespace pst::ndb
