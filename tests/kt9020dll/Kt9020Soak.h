// What the soak test (Kt9020SoakTest_win.cpp) and its client processes
// (kt9020_client soak ...) agree on: where each role writes in controller
// memory, what every write holds, the operations of each iteration, and the
// progress record each role keeps in memory shared with the test.
//
// A role is one of four writers; the test keeps one client process per role
// running and starts a replacement that carries on from the role's progress
// when it kills one. Everything a client does at iteration i follows from
// (seed, role, i) alone, so a replacement repeats exactly what the killed
// process would have done, and the test knows the controller's final content
// without watching a single transaction.
#pragma once

#include <cstdint>

constexpr int kSoakRoles = 4;

// Each role owns 4 KB of free controller memory: 512 slots of 8 bytes.
// Iteration i writes slot i % kSoakSlots with the pair (value, ~value).
constexpr uint32_t kSoakBase = 0x4000;
constexpr uint32_t kSoakRoleBytes = 0x1000;
constexpr uint32_t kSoakSlotBytes = 8;
constexpr uint32_t kSoakSlots = kSoakRoleBytes / kSoakSlotBytes;

inline uint32_t SoakSlotAddress(int nRole, uint32_t nSlot) {
  return kSoakBase + static_cast<uint32_t>(nRole) * kSoakRoleBytes + nSlot * kSoakSlotBytes;
}

// The value of iteration i of a role: the role (1-based, so that a written
// slot never reads as zero) in the top byte, i in the low 24 bits.
inline uint32_t SoakValue(int nRole, uint32_t i) {
  return (static_cast<uint32_t>(nRole + 1) << 24) | (i & 0xFFFFFFu);
}

// Whether the pair read from a role's slot is one that role could have
// written there: all zeros (never written), or a value of that role whose
// iteration maps to that slot, followed by its complement. Anything else
// is a torn, misplaced or lost write.
inline bool SoakPairValid(int nRole, uint32_t nSlot, uint32_t dwValue, uint32_t dwCheck) {
  if (dwValue == 0 && dwCheck == 0) return true;
  return (dwValue >> 24) == static_cast<uint32_t>(nRole + 1) &&
         (dwValue & 0xFFFFFFu) % kSoakSlots == nSlot && dwCheck == ~dwValue;
}

// A small mixing function (splitmix32 style): the seeded choices of one
// iteration.
inline uint32_t SoakMix(uint32_t dwSeed, int nRole, uint32_t i, uint32_t dwSalt) {
  uint32_t x = dwSeed * 0x9E3779B9u ^ (static_cast<uint32_t>(nRole) + 1) * 0x85EBCA6Bu ^
               i * 0xC2B2AE35u ^ dwSalt * 0x27D4EB2Fu;
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// Every controller command the soak sends is one library transaction: a
// write of the slot (8-byte write 0x28 or block write 0x2A), its read-back
// (0x18 or 0x1A), and one shared read: another role's slot, the board code
// or the selected profile's clock record. Every eighth iteration the
// client also holds the library's mutex around its write and read-back, as
// a caller does that needs commands in one piece.
constexpr uint32_t kSoakTransactionsPerIteration = 3;

// Progress of one role, in memory the test shares with its clients
// (a named file mapping). Only the role's one living process writes it.
struct SSoakRole {
  volatile int32_t nNext;          // iterations done: the next to write
  volatile int32_t nErrors;        // failed transactions and bad reads
  volatile int32_t nTransactions;  // library calls that returned success
  volatile int32_t nAbandoned;     // own waits that found the mutex abandoned
  volatile int32_t nInCall;        // 1 while inside GetAIP or SetAIP
  volatile int32_t anReserved[3];
};
struct SSoakShared {
  SSoakRole aRoles[kSoakRoles];
};
