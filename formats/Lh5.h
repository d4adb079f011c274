// The "-lh5-" compression method of BIOS modules: an 8 KiB sliding
// dictionary whose literals, match lengths and match positions are coded
// with static Huffman trees sent at the start of every block.
//
// Stream layout (bits are read most significant first):
//   per block: 16-bit count of codes in the block (never 0),
//              the code-length tree (5-bit count, 3-bit lengths),
//              the literal/length tree (9-bit count, lengths coded with the
//              code-length tree), the position tree (4-bit count, 3-bit
//              lengths), then the codes themselves.
//   a code below 256 is a literal byte; code c of 256..509 copies c - 253
//   bytes (3..256) from a distance of 1..8192 bytes back, the distance
//   coded as a position-tree symbol p (its bit length) plus p - 1 raw bits.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace lh5 {
constexpr size_t kDictionaryBytes = 8192;  // farthest distance a match reaches back
constexpr size_t kMinMatch = 3;            // bytes
constexpr size_t kMaxMatch = 256;          // bytes
constexpr unsigned kCharCodes = 510;       // 256 literals + 254 match lengths
constexpr unsigned kPositionCodes = 14;    // bit lengths 0..13 of distance - 1
constexpr unsigned kLengthCodes = 19;      // alphabet of the code-length tree
constexpr unsigned kMaxCodeBits = 16;      // longest Huffman code the format allows

// The encoder's Huffman code lengths for nSymbols frequencies: 0 for an
// unused symbol, otherwise 1..kMaxCodeBits, the code complete whenever two
// or more symbols are used. Returns the number of used symbols.
unsigned MakeCodeLengths(const uint32_t* pdwFreq, unsigned nSymbols, uint8_t* pbyLen);
}  // namespace lh5

// Decodes exactly nOut bytes into pOut from at most nIn bytes at pIn.
//
// Returns false, with pOut's contents unspecified, when the stream cannot
// be the compression of nOut bytes: a tree whose code lengths are
// over-subscribed or leave codes unused, a count or symbol outside its
// alphabet, a match reaching before the start of the output or past its
// end, a block of 0 codes, or the input ending before the output is full.
//
// The declared sizes must agree with the stream: when nOut bytes are
// complete the current block must have no codes left, and whatever input
// follows the last code (the final byte's unused bits and any further
// bytes) must be zero. Zero fill is what encoders pad with; anything else
// means the stream holds more data than nOut, and accepting it would
// return a silently truncated module.
//
// Reads nothing outside [pIn, pIn + nIn), writes nothing outside
// [pOut, pOut + nOut); runs in time linear in nIn + nOut.
bool Lh5Decode(const uint8_t* pIn, size_t nIn, uint8_t* pOut, size_t nOut);

// Compresses n bytes (greedy matching with one step of lazy evaluation
// over hash chains); the result decodes with Lh5Decode(..., n). The stream
// ends with one zero byte after the byte holding the last code's bits, for
// decoders that read a byte ahead (Lh5Decode takes it as padding). An empty
// input gives an empty stream.
std::vector<uint8_t> Lh5Encode(const uint8_t* pIn, size_t n);
