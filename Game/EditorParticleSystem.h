#pragma once
// The particle editor's one template under edit, and its own simulation of it. The editor does
// not run the game's particle runtime: it steps, emits and draws the template itself every
// frame, so that every change typed into its dialog shows at once, and it keeps the growing
// bounds box that is saved with the template.
//
// The template is held as the ".ps2" block (70 words) and the texture's name; words are also
// reached by their number, as the dialog's table and the files name them.

#include <cstdint>

#include "Engine/BaseParticleFactory.h"

class RenderWindow;
namespace plat {
class Dialog;
}

// The ".ps2" parameter block as the editor keeps it.
using ParticleTemplateWords = ParticleTemplate;

// One live or dead particle of the editor's pool (32 floats).
struct EditorParticle {
  float velocity[3];  // units per frame
  float life;         // frames left; live while above 0
  float position[4];
  float colour[4];  // R, G, B, A in 0..255
  float colourStep[4];
  float angle[4];  // radians
  float angleStep[4];
  float scale[4];
  float scaleStep[4];
};
static_assert(sizeof(EditorParticle) == 128, "a particle record is 32 floats");

class EditorParticleSystem {
 public:
  static constexpr uint32_t kPoolSize = 1024;
  static constexpr uint32_t kWordCount = 70;
  static constexpr uint32_t kPs2NameOffset = 280;
  static constexpr uint32_t kPsfNameOffset = 248;
  static constexpr uint32_t kPsfWordCount = 62;
  // Word numbers the editor handles apart from the plain floats.
  static constexpr uint32_t kWordMaxParticles = 0;
  static constexpr uint32_t kWordFlags = 56;
  static constexpr uint32_t kWordBoundsMin = 62;
  static constexpr uint32_t kWordBoundsMax = 66;

  EditorParticleSystem();
  ~EditorParticleSystem();
  EditorParticleSystem(const EditorParticleSystem&) = delete;
  EditorParticleSystem& operator=(const EditorParticleSystem&) = delete;

  // ---- The template.
  // The editor's starting effect: a looped, alpha-blended burst of "shockwave01.dds" with the
  // pool made (the texture is loaded from the data folder in use).
  bool CreateTestSystem();
  // Reads a ".ps2" file given by its full path. A file that cannot be read or does not hold the
  // block and a terminated name changes nothing and gives false. The texture is then loaded by
  // its name from "data\ParticleEditor\".
  bool Load(const char* path);
  // The same for the older ".psf" layout (62 words, name at byte 248); the box is reset.
  bool LoadOldStyle(const char* path);
  // Takes the texture from a full path; the name kept is the part after the last separator.
  bool LoadNewTexture(const char* path);
  // Writes the template as a ".ps2" file, whole or not at all (an existing file is kept when
  // the write fails); false with a log line and an assertion report on failure.
  bool Save(const char* path) const;
  // Frees the pool and the name and gives the texture back.
  void CleanUp();
  // The starting state of construction (the pool and the texture must have been let go).
  void Reset();

  // Word `word` as a float, or as the unsigned word it is (words 0 and 56).
  float GetFloat(uint32_t word) const;
  void SetFloat(uint32_t word, float value);
  uint32_t GetWord(uint32_t word) const;
  void SetWord(uint32_t word, uint32_t value);
  // "Max Particles", held to the pool's size.
  void SetMaxParticles(int64_t count);
  uint32_t GetMaxParticles() const { return m_words.maxParticles; }
  uint32_t GetFlags() const { return m_words.flags; }
  void SetFlags(uint32_t flags) { m_words.flags = flags; }
  void ResetBox();
  const ParticleTemplateWords& Words() const { return m_words; }
  ParticleTemplateWords& Words() { return m_words; }
  const char* GetTextureName() const { return m_textureName; }
  int32_t GetTexture() const { return m_texture; }

  // Writes every value into its control of the editor's dialog (degrees for the angles) and
  // sets the check box and radios from the flags.
  void FieldsToDialog(plat::Dialog* dialog) const;

  // ---- The simulation (one step a frame, then drawing).
  void Update(RenderWindow* window);
  void EmitParticle();
  void Render(RenderWindow* window);
  // A particle's four colour words (r, g, b, a; 0 to 255) as the vertex colour it is drawn
  // with, 0xAARRGGBB; words outside that range are held to it.
  static uint32_t VertexColour(const float* colour);
  void RequestRestart() { m_restart = 1; }
  uint32_t GetLiveCount() const { return m_liveCount; }
  const EditorParticle* GetPool() const { return m_pool; }
  float GetEmitterAge() const { return m_age; }
  float GetAccumulator() const { return m_accumulator; }

 private:
  bool ReadTemplate(const char* path, uint32_t wordCount, uint32_t nameOffset);
  bool ReplaceTextureName(const char* name);
  void LoadTextureByName();
  void ReleaseTexture();
  void StepParticle(EditorParticle& particle, float dt);
  void GrowBox();

  ParticleTemplateWords m_words{};
  char* m_textureName = nullptr;
  int32_t m_texture = -1;
  EditorParticle* m_pool = nullptr;
  uint32_t m_liveCount = 0;
  float m_damping[4] = {};
  float m_gravityStep[4] = {};
  float m_accumulator = 0.0f;
  float m_age = 0.0f;
  int32_t m_restart = 0;
};

// The editor's one template.
EditorParticleSystem& GetEditorParticleSystem();
