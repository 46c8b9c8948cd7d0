// DecodeBlock: one stored block back into its output.
#pragma once

#include <cstdint>

#include "common/container.h"

// Decodes `storedLength` stored bytes into exactly `outputLength` bytes at
// `destination` (which holds at least that many). Returns 1 on success, 0 on
// a refusal: method 0 with fewer stored bytes than output bytes, a method-1
// stream that LzDecompress refuses, or any other method.
int DecodeBlock(uint8_t* destination, uint32_t outputLength, const uint8_t* stored,
                uint32_t storedLength, uint16_t method);
