// Packing of the 20-byte port record (layout in protocol/MirelIoctl.h) for the four
// port requests, and reading the value back from a reply.
#pragma once

#include <cstdint>

#include "protocol/MirelIoctl.h"

enum class EPortFill {
  AllViews,  // ReadPortVal/WritePortVal: every port and value view
  ByteIn,    // InPortB: size 1 and the 16-bit port
  ByteOut,   // OutPortB: size 1, the byte value and the 16-bit port
};

mirel::SPortRecord MakePortRecord(EPortFill eFill, uint8_t bySize, uint32_t dwPort,
                                  uint32_t dwValue);

// True for the access sizes the driver knows (1, 2 or 4 bytes).
bool IsPortAccessSize(int nSize);

// The value a read reply carries for its access size, zero-extended: the
// byte at +13, the word at +16 or the dword at +8. False for another size.
bool PortReplyValue(const mirel::SPortRecord& reply, uint8_t bySize, uint32_t* pdwValue);
