#include "torvid/include/audio/tWavReader.h"

#include <cstring>

#include "Engine/FileImage.h"
#include "torvid/include/audio/tPlatform.h"

namespace Torvid_lib {

namespace {

// On-disk records, little-endian like the host.
struct RiffHeader {
  char id[4];     // "RIFF"
  uint32_t size;  // bytes after this field, "WAVE" included
  char form[4];   // "WAVE"
};
static_assert(sizeof(RiffHeader) == 12);

struct ChunkHeader {
  char id[4];
  uint32_t size;  // without the pad byte that follows an odd-sized body
};
static_assert(sizeof(ChunkHeader) == 8);

// The common part of every "fmt " body; PCM needs no more.
struct WavFormat {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t rate;
  uint32_t bytesPerSecond;
  uint16_t blockAlign;
  uint16_t bits;
};
static_assert(sizeof(WavFormat) == 16);

constexpr uint16_t kFormatPcm = 1;

bool IdIs(const char (&id)[4], const char* name) { return std::memcmp(id, name, 4) == 0; }

// What the chunk walk found. A refusal is a reason text; null means the file is good so far.
struct WavParse {
  const FileImage& image;
  WavFormat format{};
  bool haveFormat = false;
  bool haveData = false;
  uint64_t dataOffset = 0;
  uint64_t dataBytes = 0;
};

const char* CheckFormat(const WavFormat& format) {
  if (format.formatTag != kFormatPcm) return "not PCM (format tag is not 1)";
  if (format.channels != 1 && format.channels != 2) return "channel count is not 1 or 2";
  if (format.bits != 8 && format.bits != 16) return "sample size is not 8 or 16 bits";
  plat::PcmFormat pcm;
  pcm.rate = format.rate > 0x7FFFFFFFu ? 0 : static_cast<int32_t>(format.rate);
  pcm.channels = format.channels;
  pcm.bits = format.bits;
  if (!plat::IsSupportedFormat(pcm)) return "sample rate is not one the mixer plays";
  if (format.blockAlign != format.channels * format.bits / 8)
    return "block align does not match channels and sample size";
  return nullptr;
}

const char* ReadFormatChunk(WavParse& parse, uint64_t body, uint32_t size) {
  if (parse.haveFormat) return "second fmt chunk";
  if (size < sizeof(WavFormat)) return "fmt chunk too short";
  if (!parse.image.Read(body, &parse.format)) return "fmt chunk runs past the end";
  parse.haveFormat = true;
  return CheckFormat(parse.format);
}

const char* ReadDataChunk(WavParse& parse, uint64_t body, uint32_t size) {
  if (parse.haveData) return "second data chunk";
  // The layout of the samples is unknown until the format has been read; a fmt chunk after the
  // data is refused here.
  if (!parse.haveFormat) return "data chunk before the fmt chunk";
  parse.haveData = true;
  parse.dataOffset = body;
  parse.dataBytes = size;
  return nullptr;
}

// Walks the chunks in [12, end). Every chunk must lie inside; the pad byte after an odd-sized
// body may be missing at the very end, as some writers leave it out of the last chunk.
const char* WalkChunks(WavParse& parse, uint64_t end) {
  uint64_t offset = sizeof(RiffHeader);
  while (offset < end) {
    ChunkHeader chunk;
    if (end - offset < sizeof(chunk) || !parse.image.Read(offset, &chunk))
      return "chunk header runs past the end";
    const uint64_t body = offset + sizeof(chunk);
    if (chunk.size > end - body) return "chunk runs past the end";
    const char* refusal = nullptr;
    if (IdIs(chunk.id, "fmt "))
      refusal = ReadFormatChunk(parse, body, chunk.size);
    else if (IdIs(chunk.id, "data"))
      refusal = ReadDataChunk(parse, body, chunk.size);
    if (refusal) return refusal;
    offset = body + chunk.size + (chunk.size & 1);
  }
  return nullptr;
}

// The RIFF size bounds the walk; bytes after it are none of the file's business. A RIFF size
// that claims more than the image holds means the file was cut short.
const char* ParseWav(WavParse& parse) {
  RiffHeader riff;
  if (!parse.image.Read(0, &riff)) return "shorter than a RIFF header";
  if (!IdIs(riff.id, "RIFF") || !IdIs(riff.form, "WAVE")) return "not a RIFF WAVE file";
  const uint64_t end = uint64_t{riff.size} + 8;
  if (end < sizeof(RiffHeader)) return "RIFF size too small";
  if (end > parse.image.Size()) return "RIFF size runs past the end";
  if (const char* refusal = WalkChunks(parse, end)) return refusal;
  // A data chunk is only taken after a fmt chunk.
  if (!parse.haveData) return "no data chunk";
  return nullptr;
}

}  // namespace

bool tReadWav(const void* bytes, size_t size, const char* name, tWavInfo* out) {
  if (!name) name = "(wav)";
  if (!bytes || !out) {
    tLog("SOUND", "%s: refused: no data", name);
    return false;
  }
  // No `what` for the image: the reader writes its own single line through the library's log.
  const FileImage image(bytes, size, name);
  WavParse parse{image};
  const char* refusal = ParseWav(parse);
  const uint32_t blockAlign = parse.format.blockAlign;
  const uint64_t frames = refusal ? 0 : parse.dataBytes / blockAlign;
  if (!refusal && frames == 0) refusal = "no whole frame of sample data";
  if (!refusal && parse.dataOffset + parse.dataBytes > UINT32_MAX)
    refusal = "sample data lies beyond 4 GB";
  if (refusal) {
    tLog("SOUND", "%s: refused: %s", name, refusal);
    return false;
  }
  out->format.rate = static_cast<int32_t>(parse.format.rate);
  out->format.channels = parse.format.channels;
  out->format.bits = parse.format.bits;
  out->dataOffset = static_cast<uint32_t>(parse.dataOffset);
  out->frames = static_cast<uint32_t>(frames);
  out->dataBytes = static_cast<uint32_t>(frames * blockAlign);
  return true;
}

}  // namespace Torvid_lib
