#include "tools/qwpack/bench/bench_codecs.h"

#ifdef QW_COMPARISON_CODECS
#include <libdeflate.h>
#include <lz4.h>
#include <lz4hc.h>
#include <zlib.h>
#include <zstd.h>
#endif

#include <cstdlib>
#include <cstring>

#include "decode/block_decode.h"
#include "decode/lzma_decode.h"
#include "encode/lz/lz_codec.h"
#ifdef QW_LZMA_ENCODER
#include "encode/lzma/lzma_encoder.h"
#endif

namespace {

class MemcpyCodec : public BenchCodec {
 public:
  size_t Compress(const uint8_t* input, size_t size, uint8_t* output, size_t capacity) override {
    if (size > capacity) return 0;
    memcpy(output, input, size);
    return size;
  }
  bool Decompress(const uint8_t* input, size_t, uint8_t* output, size_t outputSize) override {
    memcpy(output, input, outputSize);
    return true;
  }
};

// Decoding goes through DecodeBlock, as the launcher's does.
class QwlzCodec : public BenchCodec {
 public:
  size_t Compress(const uint8_t* input, size_t size, uint8_t* output, size_t capacity) override {
    return codec_.Compress(input, static_cast<uint32_t>(size), output,
                           static_cast<uint32_t>(capacity));
  }
  bool Decompress(const uint8_t* input, size_t size, uint8_t* output, size_t outputSize) override {
    return DecodeBlock(output, static_cast<uint32_t>(outputSize), input,
                       static_cast<uint32_t>(size), kMethodLz) == 1;
  }

 private:
  CLzCodec codec_;
};

#ifdef QW_LZMA_ENCODER
// Method 2 over a whole file: its blocks, each behind the 4-byte block
// header a package gives it, decoded block by block as the launcher does.
class QwlzmaCodec : public BenchCodec {
 public:
  QwlzmaCodec() : decoder_(static_cast<LzmaDecoder*>(malloc(sizeof(LzmaDecoder)))) {}
  ~QwlzmaCodec() override { free(decoder_); }

  size_t Compress(const uint8_t* input, size_t size, uint8_t* output, size_t capacity) override {
    std::vector<StoredBlock> blocks =
        LzmaCutEntries({std::vector<uint8_t>(input, input + size)})[0];
    size_t at = 0;
    for (const StoredBlock& block : blocks) {
      if (at + 4 + block.bytes.size() > capacity) return 0;
      SerializeBlockHeader({static_cast<uint16_t>(block.bytes.size()), block.coded}, output + at);
      memcpy(output + at + 4, block.bytes.data(), block.bytes.size());
      at += 4 + block.bytes.size();
    }
    return at;
  }
  bool Decompress(const uint8_t* input, size_t size, uint8_t* output, size_t outputSize) override {
    if (!decoder_) return false;
    LzmaBeginPackage(decoder_);
    LzmaBeginEntry(decoder_);
    size_t at = 0;
    bool decoded = ForEachBlock(outputSize, [&](uint64_t done, uint32_t length) {
      if (size - at < 4) return false;
      BlockHeader block = ParseBlockHeader(input + at);
      if (block.storedLength > size - at - 4 ||
          !LzmaDecodeBlock(decoder_, output + done, length, input + at + 4, block.storedLength,
                           block.codedFlag != 0))
        return false;
      at += 4 + block.storedLength;
      return true;
    });
    return decoded && at == size;
  }
  size_t Bound(size_t size) const override { return size + (size / kBlockSize + 1) * 4 + 16; }

 private:
  LzmaDecoder* decoder_;
};
#endif

#ifdef QW_COMPARISON_CODECS
class ZlibCodec : public BenchCodec {
 public:
  size_t Compress(const uint8_t* input, size_t size, uint8_t* output, size_t capacity) override {
    uLongf length = capacity;
    return compress2(output, &length, input, size, 9) == Z_OK ? length : 0;
  }
  bool Decompress(const uint8_t* input, size_t size, uint8_t* output, size_t outputSize) override {
    uLongf length = outputSize;
    return uncompress(output, &length, input, size) == Z_OK && length == outputSize;
  }
  size_t Bound(size_t size) const override { return compressBound(size); }
};

class LibdeflateCodec : public BenchCodec {
 public:
  LibdeflateCodec()
      : compressor_(libdeflate_alloc_compressor(12)),
        decompressor_(libdeflate_alloc_decompressor()) {}
  ~LibdeflateCodec() override {
    libdeflate_free_compressor(compressor_);
    libdeflate_free_decompressor(decompressor_);
  }
  size_t Compress(const uint8_t* input, size_t size, uint8_t* output, size_t capacity) override {
    return libdeflate_deflate_compress(compressor_, input, size, output, capacity);
  }
  bool Decompress(const uint8_t* input, size_t size, uint8_t* output, size_t outputSize) override {
    return libdeflate_deflate_decompress(decompressor_, input, size, output, outputSize, nullptr) ==
           LIBDEFLATE_SUCCESS;
  }
  size_t Bound(size_t size) const override {
    return libdeflate_deflate_compress_bound(compressor_, size);
  }

 private:
  libdeflate_compressor* compressor_;
  libdeflate_decompressor* decompressor_;
};

class Lz4Codec : public BenchCodec {
 public:
  explicit Lz4Codec(int hcLevel) : hcLevel_(hcLevel) {}
  size_t Compress(const uint8_t* input, size_t size, uint8_t* output, size_t capacity) override {
    const char* in = reinterpret_cast<const char*>(input);
    char* out = reinterpret_cast<char*>(output);
    int n = static_cast<int>(size), cap = static_cast<int>(capacity);
    int coded = hcLevel_ ? LZ4_compress_HC(in, out, n, cap, hcLevel_)
                         : LZ4_compress_default(in, out, n, cap);
    return coded > 0 ? static_cast<size_t>(coded) : 0;
  }
  bool Decompress(const uint8_t* input, size_t size, uint8_t* output, size_t outputSize) override {
    return LZ4_decompress_safe(reinterpret_cast<const char*>(input),
                               reinterpret_cast<char*>(output), static_cast<int>(size),
                               static_cast<int>(outputSize)) == static_cast<int>(outputSize);
  }
  size_t Bound(size_t size) const override { return LZ4_compressBound(static_cast<int>(size)); }

 private:
  int hcLevel_;  // 0: the fast coder
};

class ZstdCodec : public BenchCodec {
 public:
  explicit ZstdCodec(int level)
      : level_(level), compressor_(ZSTD_createCCtx()), decompressor_(ZSTD_createDCtx()) {}
  ~ZstdCodec() override {
    ZSTD_freeCCtx(compressor_);
    ZSTD_freeDCtx(decompressor_);
  }
  size_t Compress(const uint8_t* input, size_t size, uint8_t* output, size_t capacity) override {
    size_t coded = ZSTD_compressCCtx(compressor_, output, capacity, input, size, level_);
    return ZSTD_isError(coded) ? 0 : coded;
  }
  bool Decompress(const uint8_t* input, size_t size, uint8_t* output, size_t outputSize) override {
    return ZSTD_decompressDCtx(decompressor_, output, outputSize, input, size) == outputSize;
  }
  size_t Bound(size_t size) const override { return ZSTD_compressBound(size); }

 private:
  int level_;
  ZSTD_CCtx* compressor_;
  ZSTD_DCtx* decompressor_;
};

#endif  // QW_COMPARISON_CODECS

template <typename Codec, int... Arguments>
std::unique_ptr<BenchCodec> Make() {
  return std::unique_ptr<BenchCodec>(new Codec(Arguments...));
}

}  // namespace

bool BenchHasComparisonCodecs() {
#ifdef QW_COMPARISON_CODECS
  return true;
#else
  return false;
#endif
}

std::vector<BenchCodecKind> BenchCodecKinds() {
  std::vector<BenchCodecKind> kinds;
  kinds.push_back({"memcpy", false, false, Make<MemcpyCodec>});
  kinds.push_back({"qwlz (4 KiB blocks)", true, true, Make<QwlzCodec>});
#ifdef QW_LZMA_ENCODER
  kinds.push_back({"qwlzma (method 2)", false, true, Make<QwlzmaCodec>});
#endif
#ifdef QW_COMPARISON_CODECS
  kinds.push_back({"zlib -9 (4 KiB blocks)", true, false, Make<ZlibCodec>});
  kinds.push_back({"zlib -9", false, false, Make<ZlibCodec>});
  kinds.push_back({"libdeflate -12", false, false, Make<LibdeflateCodec>});
  kinds.push_back({"lz4", false, false, Make<Lz4Codec, 0>});
  kinds.push_back({"lz4hc -12", false, false, Make<Lz4Codec, 12>});
  kinds.push_back({"zstd -3", false, false, Make<ZstdCodec, 3>});
  kinds.push_back({"zstd -19", false, false, Make<ZstdCodec, 19>});
#endif
  return kinds;
}
