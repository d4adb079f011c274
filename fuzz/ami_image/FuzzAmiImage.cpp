// An AMI BIOS file is whatever the user picked or a server sent: the checks
// that decide whether it may be flashed (ROM header, module chain,
// compressed modules, sum) must refuse anything malformed and never read
// outside the file, loop, or decode past a module's declared sizes.
#include <stddef.h>
#include <stdint.h>

#include "formats/Lh5.h"
#include "tessaro/ami/AmiImage.h"

namespace {

bool Decode(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOut) {
  return Lh5Decode(pIn, nIn, pOut, nOut);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  CheckAmiImage(pData, nSize, Decode);
  SAmiModule module;
  for (uint8_t byType : {0x10, 0x20}) FindModule(pData, nSize, byType, &module);
  return 0;
}
