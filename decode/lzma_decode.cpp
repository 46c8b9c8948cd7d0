// The method-2 decoder: a range decoder over one block's stored bytes and
// the LZMA symbol decoding over the package's dictionary. Bytes past the
// stored ones read as zero, as the packer's trimmed flush needs, so a
// damaged block never reads past its end either.
#include <cstring>

#include "decode/lzma_decode.h"
#include "decode/ring_copy.h"
#include "decode/x86_filter.h"

namespace {

constexpr uint32_t kProbabilityBits = 11;
constexpr uint32_t kProbabilityInitial = (1u << kProbabilityBits) / 2;
constexpr uint32_t kMoveBits = 5;
constexpr uint32_t kTopValue = 1u << 24;
constexpr uint32_t kCoderInitBytes = 4;  // the leading zero byte is not stored
constexpr uint32_t kMinMatchLength = 2;
constexpr uint32_t kFirstMatchState = 7;
constexpr uint32_t kDictionaryMask = kLzmaDictionarySize - 1;
static_assert((kLzmaDictionarySize & kDictionaryMask) == 0, "a power of two");

struct RangeDecoder {
  const uint8_t* input;
  uint32_t inputLength;
  uint32_t nextByte;  // may pass inputLength: the bytes there read as zero
  uint32_t range;
  uint32_t code;

  inline uint8_t NextByte() {
    uint8_t byte = nextByte < inputLength ? input[nextByte] : 0;
    nextByte++;
    return byte;
  }

  inline void Normalize() {
    if (range < kTopValue) {
      range <<= 8;
      code = (code << 8) | NextByte();
    }
  }

  inline uint32_t Bit(uint16_t* probability) {
    Normalize();
    uint32_t bound = (range >> kProbabilityBits) * *probability;
    if (code < bound) {
      range = bound;
      *probability = static_cast<uint16_t>(
          *probability + (((1u << kProbabilityBits) - *probability) >> kMoveBits));
      return 0;
    }
    range -= bound;
    code -= bound;
    *probability = static_cast<uint16_t>(*probability - (*probability >> kMoveBits));
    return 1;
  }

  inline uint32_t DirectBits(uint32_t count) {
    uint32_t value = 0;
    for (; count; count--) {
      Normalize();
      range >>= 1;
      uint32_t bit = code >= range ? 1 : 0;
      code -= range & (0u - bit);
      value = (value << 1) | bit;
    }
    return value;
  }

  // A symbol of `bits` bits, most significant first, from the tree's nodes
  // probabilities[1, 2^bits).
  inline uint32_t Tree(uint16_t* probabilities, uint32_t bits) {
    uint32_t m = 1;
    for (uint32_t i = 0; i < bits; i++) m = (m << 1) | Bit(&probabilities[m]);
    return m - (1u << bits);
  }

  inline uint32_t ReverseTree(uint16_t* probabilities, uint32_t bits) {
    uint32_t m = 1, symbol = 0;
    for (uint32_t i = 0; i < bits; i++) {
      uint32_t bit = Bit(&probabilities[m]);
      m = (m << 1) | bit;
      symbol |= bit << i;
    }
    return symbol;
  }

  // Every stored byte was needed: the encoder's flush ends with the byte a
  // normalization after the last bit takes, less the trailing zeros the
  // packer leaves out (all of them: a block has one form). Bytes left over
  // would be bytes nobody checks.
  bool EndedCleanly() {
    Normalize();
    return nextByte >= inputLength && (inputLength == 0 || input[inputLength - 1] != 0);
  }
};

void ResetState(LzmaDecoder* decoder) {
  uint16_t* first = reinterpret_cast<uint16_t*>(&decoder->probabilities);
  size_t count = sizeof decoder->probabilities / sizeof(uint16_t);
  for (size_t i = 0; i < count; i++) first[i] = kProbabilityInitial;
  decoder->state = 0;
  for (uint32_t& rep : decoder->reps) rep = 0;
  decoder->needsStateReset = false;
}

bool SetProperties(LzmaDecoder* decoder, uint32_t byte) {
  if (byte > kLzmaMaxPropertiesByte) return false;
  uint32_t lc = byte % 9, lp = byte / 9 % 5, pb = byte / 45;
  if (lc + lp > kLzmaMaxLcPlusLp) return false;
  decoder->lc = lc;
  decoder->lp = lp;
  decoder->pb = pb;
  decoder->hasProperties = true;
  return true;
}

inline uint32_t DecodeLength(RangeDecoder* rc, LzmaLengthProbabilities* p, uint32_t posState) {
  if (!rc->Bit(&p->choice)) return rc->Tree(p->low[posState], 3);
  if (!rc->Bit(&p->choice2)) return rc->Tree(p->mid[posState], 3) + 8;
  return rc->Tree(p->high, 8) + 16;
}

inline uint32_t DecodeDistance(RangeDecoder* rc, LzmaProbabilities* p, uint32_t length) {
  uint32_t lengthState =
      length < kLzmaLengthToDistanceStates - 1 ? length : kLzmaLengthToDistanceStates - 1;
  uint32_t slot = rc->Tree(p->distanceSlot[lengthState], 6);
  if (slot < 4) return slot;
  uint32_t directBits = (slot >> 1) - 1;
  uint32_t distance = (2 | (slot & 1)) << directBits;
  if (slot < kLzmaEndPosModelIndex)
    return distance + rc->ReverseTree(p->distanceSpecial + distance - slot, directBits);
  distance += rc->DirectBits(directBits - kLzmaAlignBits) << kLzmaAlignBits;
  return distance + rc->ReverseTree(p->align, kLzmaAlignBits);
}

inline uint8_t DictionaryByte(const LzmaDecoder* decoder, uint32_t distance) {
  return decoder->dictionary[(decoder->position - distance) & kDictionaryMask];
}

inline void PutByte(LzmaDecoder* decoder, uint8_t byte) {
  decoder->dictionary[decoder->position & kDictionaryMask] = byte;
  decoder->position++;
  if (decoder->dictionaryFill < kLzmaDictionarySize) decoder->dictionaryFill++;
}

// Appends `length` bytes from `distance` back, which the caller has checked
// against what the dictionary holds; the copy may overlap what it writes.
inline void CopyMatch(LzmaDecoder* decoder, uint32_t distance, uint32_t length) {
  CopyInRing<kLzmaDictionarySize>(decoder->dictionary, decoder->position, distance, length);
  decoder->position += length;
  uint32_t room = kLzmaDictionarySize - decoder->dictionaryFill;
  decoder->dictionaryFill += length < room ? length : room;
}

inline void DecodeLiteral(LzmaDecoder* decoder, RangeDecoder* rc) {
  uint32_t previous = decoder->dictionaryFill ? DictionaryByte(decoder, 1) : 0;
  uint32_t context = ((decoder->position & ((1u << decoder->lp) - 1)) << decoder->lc) +
                     (previous >> (8 - decoder->lc));
  uint16_t* probabilities = decoder->probabilities.literal + kLzmaLiteralCoderSize * context;
  uint32_t symbol = 1;
  if (decoder->state >= kFirstMatchState) {
    // The byte at the last match distance steers the first bits while
    // they agree with it.
    uint32_t matchByte = DictionaryByte(decoder, decoder->reps[0] + 1);
    while (symbol < 0x100) {
      uint32_t matchBit = (matchByte >> 7) & 1;
      matchByte <<= 1;
      uint32_t bit = rc->Bit(&probabilities[((1 + matchBit) << 8) + symbol]);
      symbol = (symbol << 1) | bit;
      if (bit != matchBit) break;
    }
  }
  while (symbol < 0x100) symbol = (symbol << 1) | rc->Bit(&probabilities[symbol]);
  PutByte(decoder, static_cast<uint8_t>(symbol));
  uint32_t state = decoder->state;
  decoder->state = state < 4 ? 0 : state < 10 ? state - 3 : state - 6;
}

// The symbols of one coded block, `blockLength` bytes.
bool DecodeSymbols(LzmaDecoder* decoder, RangeDecoder* rc, uint32_t blockLength) {
  LzmaProbabilities* p = &decoder->probabilities;
  uint32_t* reps = decoder->reps;
  uint32_t posMask = (1u << decoder->pb) - 1;
  uint32_t end = decoder->position + blockLength;  // may wrap: compared as a difference below
  while (end - decoder->position != 0) {
    uint32_t posState = decoder->position & posMask;
    uint32_t state = decoder->state;
    if (!rc->Bit(&p->isMatch[(state << kLzmaMaxPosBits) + posState])) {
      DecodeLiteral(decoder, rc);
      continue;
    }
    uint32_t length;
    if (!rc->Bit(&p->isRep[state])) {
      length = DecodeLength(rc, &p->length, posState);
      uint32_t distance = DecodeDistance(rc, p, length);
      reps[3] = reps[2];
      reps[2] = reps[1];
      reps[1] = reps[0];
      reps[0] = distance;
      decoder->state = state < kFirstMatchState ? 7 : 10;
    } else {
      if (decoder->dictionaryFill == 0) return false;
      if (!rc->Bit(&p->isRepG0[state])) {
        if (!rc->Bit(&p->isRep0Long[(state << kLzmaMaxPosBits) + posState])) {
          decoder->state = state < kFirstMatchState ? 9 : 11;
          if (reps[0] >= decoder->dictionaryFill) return false;
          PutByte(decoder, DictionaryByte(decoder, reps[0] + 1));
          continue;
        }
      } else {
        uint32_t distance;
        if (!rc->Bit(&p->isRepG1[state])) {
          distance = reps[1];
        } else {
          if (!rc->Bit(&p->isRepG2[state])) {
            distance = reps[2];
          } else {
            distance = reps[3];
            reps[3] = reps[2];
          }
          reps[2] = reps[1];
        }
        reps[1] = reps[0];
        reps[0] = distance;
      }
      length = DecodeLength(rc, &p->repLengths, posState);
      decoder->state = state < kFirstMatchState ? 8 : 11;
    }
    uint32_t distance = reps[0] + 1;  // 0 for the end marker, which no block has
    length += kMinMatchLength;
    if (distance == 0 || distance > decoder->dictionaryFill || length > end - decoder->position)
      return false;
    CopyMatch(decoder, distance, length);
  }
  return true;
}

// Reads the control byte and properties; returns the range coder's first
// byte index, or 0 when the block's header is refused.
uint32_t ReadBlockHeader(LzmaDecoder* decoder, const uint8_t* stored, uint32_t storedLength) {
  if (storedLength < 1) return 0;
  uint32_t control = stored[0];
  if (!(control & kLzmaControlCoded) || (control & ((1u << kLzmaResetShift) - 1))) return 0;
  uint32_t reset = (control >> kLzmaResetShift) & 3;
  uint32_t at = 1;
  if (reset == kLzmaResetDictionary && decoder->dictionaryFill != 0) return 0;
  if (reset >= kLzmaResetProperties) {
    if (storedLength < 2 || !SetProperties(decoder, stored[1])) return 0;
    at = 2;
  }
  if (!decoder->hasProperties) return 0;
  if (reset >= kLzmaResetState)
    ResetState(decoder);
  else if (decoder->needsStateReset)
    return 0;
  return at;
}

bool DecodeCodedBlock(LzmaDecoder* decoder, uint32_t outputLength, const uint8_t* stored,
                      uint32_t storedLength) {
  uint32_t at = ReadBlockHeader(decoder, stored, storedLength);
  if (at == 0) return false;
  RangeDecoder rc = {stored + at, storedLength - at, 0, 0xFFFFFFFFu, 0};
  for (uint32_t i = 0; i < kCoderInitBytes; i++) rc.code = (rc.code << 8) | rc.NextByte();
  if (rc.code == rc.range) return false;  // no encoder starts there
  if (!DecodeSymbols(decoder, &rc, outputLength) || !rc.EndedCleanly()) return false;
  decoder->endRange = rc.range;
  decoder->endCode = rc.code;
  return true;
}

// output := the dictionary's last `length` bytes.
void CopyOutOfDictionary(const LzmaDecoder* decoder, uint8_t* output, uint32_t length) {
  uint32_t start = (decoder->position - length) & kDictionaryMask;
  uint32_t first = kLzmaDictionarySize - start < length ? kLzmaDictionarySize - start : length;
  memcpy(output, decoder->dictionary + start, first);
  memcpy(output + first, decoder->dictionary, length - first);
}

void AppendToDictionary(LzmaDecoder* decoder, const uint8_t* bytes, uint32_t length) {
  for (uint32_t i = 0; i < length; i++) PutByte(decoder, bytes[i]);
}

}  // namespace

void LzmaBeginPackage(LzmaDecoder* decoder) {
  decoder->position = 0;
  decoder->dictionaryFill = 0;
  decoder->broken = false;
  decoder->hasProperties = false;
  decoder->needsStateReset = false;
  decoder->lc = decoder->lp = decoder->pb = 0;
  LzmaBeginEntry(decoder);
}

void LzmaBeginEntry(LzmaDecoder* decoder) {
  decoder->entryOffset = 0;
  decoder->codeRanges.count = 0;
}

namespace {

int DecodeBlockInStream(LzmaDecoder* decoder, uint8_t* output, uint32_t outputLength,
                        const uint8_t* stored, uint32_t storedLength, bool coded) {
  if (decoder->broken || outputLength == 0 || outputLength > kBlockSize) return 0;
  // Entries are under 4 GiB; a package claiming more is refused, not wrapped.
  if (decoder->entryOffset > UINT32_MAX - outputLength) return 0;
  uint32_t blockOffset = decoder->entryOffset;
  bool firstBlock = blockOffset == 0;
  decoder->entryOffset += outputLength;
  if (coded) {
    if (!DecodeCodedBlock(decoder, outputLength, stored, storedLength)) return 0;
    CopyOutOfDictionary(decoder, output, outputLength);
    if (firstBlock) FindX86CodeRanges(output, outputLength, &decoder->codeRanges);
    RestoreX86Ranges(output, outputLength, blockOffset, decoder->codeRanges);
    return 1;
  }
  if (storedLength < outputLength) return 0;
  memcpy(output, stored, outputLength);
  if (firstBlock) FindX86CodeRanges(output, outputLength, &decoder->codeRanges);
  const uint8_t* entering = output;
  if (decoder->codeRanges.count) {
    memcpy(decoder->filterScratch, output, outputLength);
    FilterX86Ranges(decoder->filterScratch, outputLength, blockOffset, decoder->codeRanges);
    entering = decoder->filterScratch;
  }
  AppendToDictionary(decoder, entering, outputLength);
  decoder->needsStateReset = true;
  return 1;
}

}  // namespace

int LzmaDecodeBlock(LzmaDecoder* decoder, uint8_t* output, uint32_t outputLength,
                    const uint8_t* stored, uint32_t storedLength, bool coded) {
  int decoded = DecodeBlockInStream(decoder, output, outputLength, stored, storedLength, coded);
  // A refused block leaves the state half-way (repeat distances no longer
  // checked against the dictionary, a block's symbols partly in it).
  if (!decoded) decoder->broken = true;
  return decoded;
}
