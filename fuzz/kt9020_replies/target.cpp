// The controller library against arbitrary driver replies: each step takes
// an operation, its arguments, the driver's answer (success, reported byte
// count, reply bytes) from the input. Whatever the driver answers, GetAIP
// writes only into the bytes the command asked for (the buffer below is
// exactly that long, so ASan sees any byte more) and nothing else faults.
#include <cstdint>
#include <vector>

#include "kt9020dll/ControllerCommand.h"
#include "kt9020dll/Kt9020Library.h"
#include "platform/ByteView.h"
#include "tests/kt9020dll/Kt9020Fakes.h"

namespace {

constexpr size_t kStepHeader = 6;  // operation, command, count, ok, returned, reply size

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SFakeMachine machine;
  CKt9020Library library(machine.Ports(), &machine.shared);
  if (library.Attach() != EAttach::Loaded) return 0;
  CByteView input(data, size);
  size_t offset = 0;
  while (input.Contains(offset, kStepHeader)) {
    const uint8_t* p = data + offset;
    uint8_t byOperation = p[0], byCommand = p[1], byCount = p[2];
    SDeviceReply reply;
    reply.bOk = p[3] & 1;
    reply.nReturned = p[4];
    size_t nReply = p[5];
    offset += kStepHeader;
    if (!input.Contains(offset, nReply)) nReply = size - offset;
    reply.vecOut.assign(data + offset, data + offset + nReply);
    offset += nReply;
    machine.devices.m_queReplies.assign(1, reply);

    uint32_t nExpected = 0;
    switch (byOperation % 9) {
      case 0: {
        if (!GetCommandOutputDataLength(byCommand, byCount, &nExpected)) nExpected = 0;
        std::vector<uint8_t> vecDst(nExpected);
        int n =
            library.GetAip(byCommand, 0x1234, byCount, vecDst.empty() ? nullptr : vecDst.data());
        if (n < 0 || static_cast<uint32_t>(n) > nExpected) __builtin_trap();
        break;
      }
      case 1: {
        std::vector<uint8_t> vecData(kMaxWriteBlock, 0x5A);
        library.SetAip(byCommand, 0x1234, byCount, vecData.data());
        break;
      }
      case 2: {
        int nValue = 0;
        library.ReadPortVal(byCommand, &nValue, byCount % 5);
        break;
      }
      case 3:
        library.WritePortVal(byCommand, byCount, byCount % 5);
        break;
      case 4: {
        uint8_t byValue = 0;
        library.InPortB(byCommand, &byValue);
        break;
      }
      case 5:
        library.ReadMsr(byCommand);
        break;
      case 6:
        library.OutPortB(byCommand, byCount);
        break;
      case 7:
        library.WriteMsr(byCommand, 0x12345678u * byCount, byCount);
        break;
      default:
        library.IsKt9020Exist();
        break;
    }
  }
  library.Detach();
  return 0;
}
