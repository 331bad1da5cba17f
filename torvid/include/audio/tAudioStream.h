#pragma once
// A streamed Ogg Vorbis track on one mixer stream voice. The file is read through the audio
// library's file hooks (libvorbisfile's callbacks are ours) and decoded from the per-frame
// update into the voice's ring, so that nothing but mixing happens on the audio thread. A
// looping track rewinds with ov_raw_seek and goes on decoding into the same ring: the seam has
// neither gap nor click.

#include <cstdint>

#include "Platform/Audio/Audio.h"

namespace Torvid_lib {

class tAudioStream {
 public:
  tAudioStream();
  ~tAudioStream();
  tAudioStream(const tAudioStream&) = delete;
  tAudioStream& operator=(const tAudioStream&) = delete;

  // Opens an Ogg Vorbis file by program path. False, with a "STREAM" log line, when the file
  // cannot be opened or is not Ogg Vorbis that the mixer can play. Closes what was open first.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const;

  // Takes a mixer stream voice, fills its ring and starts it. False when nothing is open or no
  // voice is free.
  bool Play(bool loop);
  // Stops and releases the voice; the file stays open and rewound.
  void Stop();
  // Refills the ring; called once per frame. A corrupt stream ends here with a log line.
  void Update();
  // True while the voice plays: a looping track until Stop, a one-shot until its last decoded
  // frame has been mixed.
  bool IsPlaying() const;
  void SetVolume(float volume);

  const plat::PcmFormat& Format() const { return m_format; }
  // Frames in the whole track (ov_pcm_total), -1 when unknown.
  int64_t TotalFrames() const { return m_totalFrames; }
  plat::AudioVoice Voice() const { return m_voice; }

 private:
  bool ReadInfo();
  void Fill();
  bool Decode();
  bool Decoded(uint32_t bytes, int link);
  bool AtEnd();
  bool Rewind();
  bool Drained() const;
  void ReleaseVoice();

  struct Vorbis;
  Vorbis* m_vorbis = nullptr;
  void* m_file = nullptr;
  char m_path[260] = "";
  plat::PcmFormat m_format;
  int64_t m_totalFrames = -1;
  plat::AudioVoice m_voice = plat::kNoVoice;
  bool m_loop = false;
  bool m_ended = false;  // no more frames will be decoded
  float m_volume = 1.0f;
  // Decoded bytes the ring had no room for yet.
  static constexpr uint32_t kPendingBytes = 8192;
  unsigned char m_pending[kPendingBytes];
  uint32_t m_pendingOffset = 0;
  uint32_t m_pendingBytes = 0;
};

}  // namespace Torvid_lib
