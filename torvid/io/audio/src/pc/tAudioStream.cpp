#include "torvid/include/audio/tAudioStream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

// The header's static callback sets would be unused here: ours go through the host's hooks.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "torvid/include/audio/tPlatform.h"

namespace Torvid_lib {

namespace {

constexpr const char* kOwner = "tAudioStream::Open";
constexpr int32_t kSampleBytes = 2;
constexpr int kMaxEmptyDecodes = 256;

// The file the decoder reads. Its hooks are copied at open, so that the handle is read and closed
// by the hooks that opened it even if the host installs others meanwhile.
struct FileSource {
  void* handle;
  tPlatformHooks hooks;
};

FileSource* SourceOf(void* source) { return static_cast<FileSource*>(source); }

size_t ReadCallback(void* buffer, size_t size, size_t count, void* source) {
  FileSource* file = SourceOf(source);
  if (size == 0 || count > SIZE_MAX / size) return 0;
  const size_t bytes = file->hooks.fileRead(file->handle, buffer, size * count);
  // vorbisfile takes 0 bytes with errno set for a read error; the hooks report the end and an
  // error alike, and a stale errno from the host must not turn a clean end into an error.
  if (bytes == 0) errno = 0;
  return bytes / size;
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
  FileSource* file = SourceOf(source);
  return file->hooks.fileSeek(file->handle, offset, whence) == 0 ? 0 : -1;
}

int CloseCallback(void* source) {
  FileSource* file = SourceOf(source);
  if (file->handle) file->hooks.fileClose(file->handle);
  file->handle = nullptr;
  return 0;
}

long TellCallback(void* source) {
  FileSource* file = SourceOf(source);
  return static_cast<long>(file->hooks.fileTell(file->handle));
}

int64_t FileBytes(const FileSource& file) {
  if (file.hooks.fileSeek(file.handle, 0, SEEK_END) != 0) return -1;
  const int64_t bytes = file.hooks.fileTell(file.handle);
  if (file.hooks.fileSeek(file.handle, 0, SEEK_SET) != 0) return -1;
  return bytes;
}

constexpr ov_callbacks kCallbacks = {ReadCallback, SeekCallback, CloseCallback, TellCallback};

struct VorbisErrorText {
  long code;
  const char* text;
};
constexpr VorbisErrorText kVorbisErrors[] = {
    {OV_HOLE, "hole in the data"},   {OV_EREAD, "read error"},
    {OV_EFAULT, "internal fault"},   {OV_EIMPL, "unsupported feature"},
    {OV_EINVAL, "invalid argument"}, {OV_ENOTVORBIS, "not Vorbis data"},
    {OV_EBADHEADER, "bad header"},   {OV_EVERSION, "Vorbis version mismatch"},
    {OV_ENOTAUDIO, "not audio"},     {OV_EBADPACKET, "bad packet"},
    {OV_EBADLINK, "bad link"},       {OV_ENOSEEK, "not seekable"},
};

const char* VorbisError(long code) {
  for (const VorbisErrorText& error : kVorbisErrors)
    if (error.code == code) return error.text;
  return "error";
}

plat::AudioMixer& Mixer() { return plat::GetAudioMixer(); }

}  // namespace

struct tAudioStream::Vorbis {
  OggVorbis_File file;
  FileSource source;
  // The chained link last decoded: a new one is checked against the format the voice plays.
  int link;
  // Frames decoded since the last rewind; none after a rewind means looping cannot go on.
  uint64_t framesSinceRewind;
  // The file's length, -1 when the hooks cannot tell: decoding that stops short of it ran into a
  // page cut short, which vorbisfile takes for a plain end.
  int64_t fileBytes;
  bool holeLogged;
  bool cutLogged;
};

tAudioStream::tAudioStream() = default;

tAudioStream::~tAudioStream() { Close(); }

bool tAudioStream::IsOpen() const { return m_vorbis != nullptr; }

bool tAudioStream::Open(const char* path) {
  Close();
  if (!path || !*path) {
    tLog("STREAM", "no file name given");
    return false;
  }
  const tPlatformHooks& hooks = tGetPlatformHooks();
  void* handle = hooks.fileOpen(path);
  if (!handle) {
    tLog("STREAM", "%s: cannot open the file", path);
    return false;
  }
  void* block = hooks.alloc(sizeof(Vorbis), kOwner);
  if (!block) {
    hooks.fileClose(handle);
    tLog("STREAM", "%s: no memory for the decoder", path);
    return false;
  }
  auto* v = new (block) Vorbis{};
  v->source.handle = handle;
  v->source.hooks = hooks;
  v->link = -1;
  v->fileBytes = FileBytes(v->source);
  // On failure vorbisfile leaves the handle to us.
  const int result = ov_open_callbacks(&v->source, &v->file, nullptr, 0, kCallbacks);
  if (result < 0) {
    tLog("STREAM", "%s: not an Ogg Vorbis file (%s)", path, VorbisError(result));
    CloseCallback(&v->source);
    v->~Vorbis();
    hooks.release(block, kOwner);
    return false;
  }
  m_vorbis = v;
  m_file = handle;
  std::strncpy(m_path, path, sizeof(m_path) - 1);
  m_path[sizeof(m_path) - 1] = '\0';
  if (!ReadInfo()) {
    Close();
    return false;
  }
  return true;
}

bool tAudioStream::ReadInfo() {
  OggVorbis_File* vf = &m_vorbis->file;
  const vorbis_info* info = ov_info(vf, -1);
  plat::PcmFormat format;
  if (info) {
    format.rate = info->rate > 0x7FFFFFFF ? 0 : static_cast<int32_t>(info->rate);
    format.channels = info->channels;
  }
  format.bits = 16;
  if (!info || !plat::IsSupportedFormat(format)) {
    tLog("STREAM", "%s: %ld Hz with %d channels cannot be played", m_path, info ? info->rate : 0L,
         info ? info->channels : 0);
    return false;
  }
  m_format = format;
  m_vorbis->link = vf->current_link;
  const ogg_int64_t total = ov_pcm_total(vf, -1);
  m_totalFrames = total < 0 ? -1 : total;
  const vorbis_comment* comment = ov_comment(vf, -1);
  const char* vendor = comment && comment->vendor ? comment->vendor : "(none)";
  tLog("STREAM", "%s: %d Hz, %d channels, %lld frames, encoded by %s", m_path, m_format.rate,
       m_format.channels, static_cast<long long>(m_totalFrames), vendor);
  return true;
}

void tAudioStream::Close() {
  ReleaseVoice();
  if (m_vorbis) {
    // ov_clear closes the file through our close callback.
    ov_clear(&m_vorbis->file);
    const tPlatformHooks hooks = m_vorbis->source.hooks;
    m_vorbis->~Vorbis();
    hooks.release(m_vorbis, kOwner);
  }
  m_vorbis = nullptr;
  m_file = nullptr;
  m_path[0] = '\0';
  m_format = plat::PcmFormat();
  m_totalFrames = -1;
  m_ended = false;
}

bool tAudioStream::Play(bool loop) {
  if (!m_vorbis) {
    tLog("STREAM", "play without an open file");
    return false;
  }
  // Always from the top: Stop rewinds; a file that cannot be rewound cannot be played.
  Stop();
  if (m_ended) return false;
  // About one second of ring: frames are decoded once per game frame, and a slow frame or a
  // loading pause must not starve the voice.
  m_voice = Mixer().CreateStream(m_format, static_cast<uint32_t>(m_format.rate));
  if (m_voice == plat::kNoVoice) {
    tLog("STREAM", "%s: no free voice to play on", m_path);
    return false;
  }
  m_loop = loop;
  Mixer().SetVolume(m_voice, m_volume);
  Fill();
  // The stream voice itself never loops: looping is decoding on past the end, here.
  Mixer().Play(m_voice, false);
  return true;
}

void tAudioStream::Stop() {
  ReleaseVoice();
  m_ended = m_vorbis ? !Rewind() : false;
}

void tAudioStream::ReleaseVoice() {
  if (m_voice != plat::kNoVoice) {
    Mixer().Stop(m_voice);
    Mixer().DestroyVoice(m_voice);
  }
  m_voice = plat::kNoVoice;
  m_pendingOffset = 0;
  m_pendingBytes = 0;
}

void tAudioStream::Update() {
  if (m_voice == plat::kNoVoice) return;
  Fill();
  // A one-shot track whose last frame has been mixed gives its voice back.
  if (Drained()) ReleaseVoice();
}

bool tAudioStream::IsPlaying() const {
  return m_voice != plat::kNoVoice && !Drained() && Mixer().IsPlaying(m_voice);
}

void tAudioStream::SetVolume(float volume) {
  // NaN counts as silence.
  m_volume = !(volume > 0.0f) ? 0.0f : (volume > 1.0f ? 1.0f : volume);
  if (m_voice != plat::kNoVoice) Mixer().SetVolume(m_voice, m_volume);
}

bool tAudioStream::Drained() const {
  return m_ended && m_pendingBytes == 0 && Mixer().StreamQueued(m_voice) == 0;
}

// Moves decoded frames into the ring until it is full or nothing more comes.
void tAudioStream::Fill() {
  const uint32_t frameBytes = static_cast<uint32_t>(m_format.channels * kSampleBytes);
  // Holes and rewinds give no frames; a file made of little else is left for the next frame
  // rather than decoded to its end now.
  int emptyDecodes = 0;
  for (;;) {
    if (m_pendingBytes == 0) {
      if (m_ended || emptyDecodes++ == kMaxEmptyDecodes || !Decode()) return;
      continue;
    }
    emptyDecodes = 0;
    const uint32_t room = Mixer().StreamFree(m_voice);
    if (room == 0) return;
    const uint32_t frames = m_pendingBytes / frameBytes;
    const uint32_t taken =
        Mixer().StreamWrite(m_voice, m_pending + m_pendingOffset, frames < room ? frames : room);
    if (taken == 0) return;
    m_pendingOffset += taken * frameBytes;
    m_pendingBytes -= taken * frameBytes;
  }
}

// Decodes the next piece into m_pending. False when the stream has ended (m_ended set); true
// when it may go on, with or without new frames.
bool tAudioStream::Decode() {
  int link = 0;
  const long got = ov_read(&m_vorbis->file, reinterpret_cast<char*>(m_pending), kPendingBytes, 0,
                           kSampleBytes, 1, &link);
  if (got > 0) return Decoded(static_cast<uint32_t>(got), link);
  if (got == 0) return AtEnd();
  if (got == OV_HOLE) {
    // A lost or damaged page: the decoder resynchronises on the next one.
    if (!m_vorbis->holeLogged) tLog("STREAM", "%s: damaged data skipped", m_path);
    m_vorbis->holeLogged = true;
    return true;
  }
  tLog("STREAM", "%s: decoding failed (%s); the stream ends", m_path, VorbisError(got));
  m_ended = true;
  return false;
}

bool tAudioStream::Decoded(uint32_t bytes, int link) {
  // A chained file may change its layout at a link; the ring cannot, so such a link ends it.
  if (link != m_vorbis->link) {
    const vorbis_info* info = ov_info(&m_vorbis->file, link);
    if (!info || info->rate != m_format.rate || info->channels != m_format.channels) {
      tLog("STREAM", "%s: link %d changes the format; the stream ends", m_path, link);
      m_ended = true;
      return false;
    }
    m_vorbis->link = link;
  }
  const uint32_t frameBytes = static_cast<uint32_t>(m_format.channels * kSampleBytes);
  m_pendingOffset = 0;
  m_pendingBytes = bytes - bytes % frameBytes;
  m_vorbis->framesSinceRewind += bytes / frameBytes;
  return true;
}

bool tAudioStream::AtEnd() {
  const int64_t at = ov_raw_tell(&m_vorbis->file);
  if (!m_vorbis->cutLogged && m_vorbis->fileBytes > 0 && at >= 0 && at < m_vorbis->fileBytes) {
    tLog("STREAM", "%s: the file ends in a cut page at byte %lld of %lld", m_path,
         static_cast<long long>(at), static_cast<long long>(m_vorbis->fileBytes));
    m_vorbis->cutLogged = true;
  }
  if (!m_loop) {
    m_ended = true;
    return false;
  }
  if (m_vorbis->framesSinceRewind == 0) {
    tLog("STREAM", "%s: no audio to loop; the stream ends", m_path);
    m_ended = true;
    return false;
  }
  if (!Rewind()) {
    m_ended = true;
    return false;
  }
  return true;
}

bool tAudioStream::Rewind() {
  m_vorbis->framesSinceRewind = 0;
  const int result = ov_raw_seek(&m_vorbis->file, 0);
  if (result == 0) return true;
  tLog("STREAM", "%s: cannot rewind (%s)", m_path, VorbisError(result));
  return false;
}

}  // namespace Torvid_lib
