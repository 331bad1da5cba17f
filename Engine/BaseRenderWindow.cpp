#include "Engine/BaseRenderWindow.h"

#include "Engine/BaseApp.h"
#include "Engine/BaseParticleFactory.h"
#include "Engine/BaseTexture.h"
#include "Engine/Font.h"
#include "Engine/MemoryTracker.h"
#include "Engine/ParticleSystem.h"

namespace {

// A byte times a factor, truncated toward zero and held to a byte: factors above 1 brighten up
// to full, they must not wrap round to dark.
uint32_t ScaleByte(uint32_t value, float factor) {
  const float product = static_cast<float>(value) * factor;
  if (!(product > 0.0f)) return 0;
  if (product >= 255.0f) return 255;
  return static_cast<uint32_t>(product);
}

}  // namespace

BaseRenderWindow::BaseRenderWindow() {
  m_textBuffer = static_cast<char16_t*>(
      TrackedAlloc("BaseRenderWindow::BaseRenderWindow", sizeof(char16_t) * kTextBufferSize));
  m_textItems = static_cast<TextItem*>(
      TrackedAlloc("BaseRenderWindow::BaseRenderWindow", sizeof(TextItem) * kMaxTextItems));
  // Without its blocks the window simply queues no text.
  if (!m_textBuffer) m_textBufferSize = 0;
  if (!m_textItems) m_maxTextItems = 0;
}

BaseRenderWindow::~BaseRenderWindow() {
  if (m_textItems) TrackedFree("BaseRenderWindow::~BaseRenderWindow", m_textItems);
  m_textItems = nullptr;
  if (m_textBuffer) TrackedFree("BaseRenderWindow::~BaseRenderWindow", m_textBuffer);
  m_textBuffer = nullptr;
  m_textItemCount = 0;
  m_textUsed = 0;
  CleanUpParticleSystems();
}

// ---- Text

uint32_t BaseRenderWindow::ScaleColour(uint32_t colour, const float* factors) {
  const uint32_t a = ScaleByte(colour >> 24 & 0xFF, factors[3]);
  const uint32_t r = ScaleByte(colour >> 16 & 0xFF, factors[0]);
  const uint32_t g = ScaleByte(colour >> 8 & 0xFF, factors[1]);
  const uint32_t b = ScaleByte(colour & 0xFF, factors[2]);
  return a << 24 | r << 16 | g << 8 | b;
}

void BaseRenderWindow::PrintText(const char16_t* text, int32_t x, int32_t y, uint32_t colour,
                                 float depth, BaseFont* font, int32_t wrapWidth) {
  if (!text || m_textItemCount >= m_maxTextItems) return;
  // The terminator must be found inside the room left, so a text is never read further than
  // the buffer could take; one that needs more is dropped.
  const int32_t room = m_textBufferSize - m_textUsed;
  int32_t n = 0;
  while (n < room && text[n] != 0) ++n;
  ++n;  // the terminator
  if (m_textUsed + n >= m_textBufferSize) return;
  char16_t* dest = m_textBuffer + m_textUsed;
  for (int32_t i = 0; i + 1 < n; ++i) dest[i] = text[i];
  dest[n - 1] = 0;
  const float* corner = GetViewportMin();
  TextItem& item = m_textItems[m_textItemCount];
  item.font = font;
  item.x = x + static_cast<int32_t>(corner[0]);
  item.y = y + static_cast<int32_t>(corner[1]);
  item.colour = ScaleColour(colour, m_colourFactors);
  item.depth = depth;
  item.text = dest;
  item.wrapWidth = wrapWidth;
  m_textUsed += n;
  ++m_textItemCount;
}

void BaseRenderWindow::PrintText(const char* text, int32_t x, int32_t y, uint32_t colour,
                                 float depth, BaseFont* font) {
  if (!text) return;
  // Widened in pieces of a fixed buffer; a text longer than the whole queue buffer could never
  // be taken anyway.
  char16_t wide[kTextBufferSize];
  int32_t n = 0;
  while (n < kTextBufferSize - 1 && text[n] != 0) {
    wide[n] = static_cast<char16_t>(static_cast<unsigned char>(text[n]));
    ++n;
  }
  if (text[n] != 0) return;
  wide[n] = 0;
  PrintText(wide, x, y, colour, depth, font, 0);
}

void BaseRenderWindow::FlushText() {
  // The queued colours carry the window's factors already, and the font multiplies by the
  // factors of the window being drawn, which is this one: for the length of the flush that
  // second product is made with factors of 1, so that a window at half brightness draws its
  // text at half, like everything else it draws, not at a quarter.
  float factors[4];
  for (int i = 0; i < 4; ++i) {
    factors[i] = m_colourFactors[i];
    m_colourFactors[i] = 1.0f;
  }
  for (int32_t i = 0; i < m_textItemCount; ++i) {
    const TextItem& item = m_textItems[i];
    if (item.font)
      item.font->DrawString(item.text, item.x, item.y, item.colour, item.depth, item.wrapWidth);
  }
  for (int i = 0; i < 4; ++i) m_colourFactors[i] = factors[i];
  DropText();
}

void BaseRenderWindow::DropText() {
  m_textUsed = 0;
  m_textItemCount = 0;
}

// ---- A 4:3 screen

void BaseRenderWindow::GetAspectScale(float* xScale, float* yScale) const {
  BaseApp& app = GetBaseApp();
  const uint32_t width = static_cast<uint32_t>(GetWidth());
  const uint32_t height = static_cast<uint32_t>(GetHeight());
  const uint32_t clientWidth = static_cast<uint32_t>(app.GetWidth());
  const uint32_t clientHeight = static_cast<uint32_t>(app.GetHeight());
  float x = 1.0f;
  // A window or client without size has no shape to correct; 1 keeps callers' sums finite.
  if (width != 0 && height != 0 && clientWidth != 0 && clientHeight != 0) {
    const float across = static_cast<float>(width) / static_cast<float>(clientWidth);
    const float down = static_cast<float>(height) / static_cast<float>(clientHeight);
    x = (across * 1.3333334f) / down;
  }
  if (xScale) *xScale = x;
  if (yScale) *yScale = 1.0f;
}

void BaseRenderWindow::ScaleTo43(float x, float y, float* xOut, float* yOut) const {
  float xScale = 1.0f;
  float yScale = 1.0f;
  GetAspectScale(&xScale, &yScale);
  const int32_t width = GetWidth();
  const int32_t height = GetHeight();
  if (xOut) *xOut = width != 0 ? x / static_cast<float>(width) * xScale : 0.0f;
  if (yOut) *yOut = height != 0 ? y / static_cast<float>(height) * yScale : 0.0f;
}

// ---- Particle systems

void BaseRenderWindow::DestroyParticleSystem(BaseParticleSystem* system) {
  if (!system) return;
  system->CleanUp();
  if (system->GetTexture() != -1) {
    GetBaseApp().GetTexture()->Delete(system->GetTexture());
    system->SetTexture(-1);
  }
  TrackedDelete("BaseRenderWindow::DestroyParticleSystem", system);
}

int32_t BaseRenderWindow::AddParticleSystem(BaseParticleSystem* system) {
  if (!system) {
    AssertReport("pData!=NULL", __FILE__, __LINE__);
    return -1;
  }
  const ParticleContainer entry = {m_nextParticleId, system};
  if (m_particles.Add(entry) < 0) {
    DestroyParticleSystem(system);
    return -1;
  }
  return m_nextParticleId++;
}

int32_t BaseRenderWindow::AddParticleSystem(int32_t templateId, const Matrix& emitter) {
  const ParticleTemplate* pData = GetBaseApp().GetParticleFactory()->Find(templateId);
  if (!pData) {
    AssertReport("pData!=NULL", __FILE__, __LINE__);
    return -1;
  }
  ParticleSystem* system = TrackedNew<ParticleSystem>("BaseRenderWindow::AddParticleSystem");
  if (!system) return -1;
  system->SetRandom(GetParticleRandom());
  if (!system->Init(pData, emitter)) {
    TrackedDelete("BaseRenderWindow::AddParticleSystem", system);
    return -1;
  }
  return AddParticleSystem(system);
}

void BaseRenderWindow::UseOwnParticleRandom(uint32_t seed) {
  m_particleRandom.SeedRand(seed);
  m_ownParticleRandom = true;
}

BaseParticleSystem* BaseRenderWindow::GetParticleSystem(int32_t id) {
  for (int32_t i = 0; i < m_particles.GetCount(); ++i)
    if (m_particles[i].id == id) return m_particles[i].system;
  return nullptr;
}

void BaseRenderWindow::DeleteParticleSystem(int32_t id) {
  for (int32_t i = 0; i < m_particles.GetCount(); ++i) {
    if (m_particles[i].id != id) continue;
    BaseParticleSystem* system = m_particles[i].system;
    // Out of the list first: a system's clean-up must not find itself still listed.
    m_particles.Remove(i);
    DestroyParticleSystem(system);
    return;
  }
}

void BaseRenderWindow::CleanUpParticleSystems() {
  for (int32_t i = 0; i < m_particles.GetCount(); ++i) {
    DestroyParticleSystem(m_particles[i].system);
    m_particles[i].system = nullptr;
  }
  m_particles.Empty();
}

void BaseRenderWindow::UpdateParticleSystems(int32_t group) {
  for (int32_t i = 0; i < m_particles.GetCount();) {
    BaseParticleSystem* system = m_particles[i].system;
    if (system && system->Update(group) != 0) {
      ++i;
      continue;
    }
    // Finished: the next system moves into this place and is stepped in this same pass.
    m_particles.Remove(i);
    DestroyParticleSystem(system);
  }
}

void BaseRenderWindow::RenderParticleSystems(uint32_t mask) {
  for (int32_t i = 0; i < m_particles.GetCount(); ++i) {
    BaseParticleSystem* system = m_particles[i].system;
    if (!system || !system->HasLiveParticles()) continue;
    const uint32_t drawFlags = system->GetFlags() & BaseParticleSystem::kDrawFlags;
    const bool match = mask == 0 ? drawFlags == 0 : (drawFlags & mask) != 0;
    if (match) ParticleRenderer::Draw(system, this);
  }
}
