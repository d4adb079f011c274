// The "-lh5-" decoder over arbitrary streams. Input: a 4-byte little-endian
// original size (taken modulo 256 KiB, so runs stay fast), then the
// compressed stream. The decoder gets buffers of exactly the declared sizes
// (the sanitizers see any access past them) and must end. When it accepts,
// re-encoding its output must decode to the same bytes; the encoder must
// round-trip the raw input as well.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <vector>

#include "formats/Lh5.h"

namespace {

void Check(bool b) {
  if (!b) abort();
}

bool DecodeExact(const uint8_t* pIn, size_t nIn, std::vector<uint8_t>* pvecOut) {
  std::unique_ptr<uint8_t[]> pCopy(new uint8_t[nIn ? nIn : 1]);
  if (nIn) memcpy(pCopy.get(), pIn, nIn);
  return Lh5Decode(pCopy.get(), nIn, pvecOut->data(), pvecOut->size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  size_t nOut =
      (data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24)) %
      (256u * 1024u);
  std::vector<uint8_t> vecOut(nOut);
  if (DecodeExact(data + 4, size - 4, &vecOut)) {
    std::vector<uint8_t> vecPacked = Lh5Encode(vecOut.data(), vecOut.size());
    std::vector<uint8_t> vecAgain(nOut);
    Check(DecodeExact(vecPacked.data(), vecPacked.size(), &vecAgain));
    Check(vecAgain == vecOut);
  }
  std::vector<uint8_t> vecPacked = Lh5Encode(data, size);
  std::vector<uint8_t> vecRaw(size);
  Check(DecodeExact(vecPacked.data(), vecPacked.size(), &vecRaw));
  Check(memcmp(vecRaw.data(), data, size) == 0);
  return 0;
}
