// The pirate game's frame: the board, the picked pirates, the hole covers and the tally on the
// main window; the HUD and the close-ups of the picked pirates on the overlay; the hook pointer,
// the chest in the finale, and the fade. Render changes no play state.
#include "Engine/Assert.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCPolygonPools.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCScene.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/PirateGame/cpirategame.h"
#include "Game/Sound/CSoundWrapper.h"

namespace {

constexpr uint32_t kBoardFlags = 256;
constexpr uint32_t kModelFlags = 256;
constexpr uint32_t kTallyFlags = 0x85;
constexpr float kOutOfPlayShade = 0.4f;
constexpr int32_t kTallyCounterKind = 9;
const Vector4 kWhite(1.0f, 1.0f, 1.0f, 1.0f);
const Vector4 kUnitScale(1.0f, 1.0f, 1.0f, 1.0f);
const Vector4 kRevealedScale(2.0f, 2.0f, 2.0f, 0.0f);

}  // namespace

void cpirategame::Render() {
  RenderWindow* main = MainWindow();
  RenderWindow* overlay = OverlayWindow();
  if (main) DrawIngameText(main);
  // The fade darkens both windows: the overlay alone would leave the island lit.
  const float v = m_fadeTimer.Fraction();
  for (RenderWindow* window : {main, overlay})
    if (window) window->SetColourFactors(v, v, v, 1.0f);
  if (overlay) DrawHud(overlay);
  if (main) {
    DrawBoard(main);
    DrawPirates(main);
    DrawTallyAndCovers(main);
    if (m_playPhase == kPhaseLeapBack) DrawReturningPirates(main);
    if (m_playPhase >= kPhaseInput && m_playPhase < kPhaseFinale) DrawHookPointer(main);
    if (m_playPhase == kPhaseFinale && m_finaleState != kFinaleCameraDrop) DrawChest(main);
  }
  if (CSoundWrapper* sound = GetSoundWrapper(); sound && m_mainCamera) {
    sound->SetListenerFromCamera(*m_mainCamera);
    sound->Update();
  }
}

void cpirategame::DrawHud(RenderWindow* window) {
  DrawScore(window, 0);
  DrawTime(window, m_secondsLeft > 0 ? static_cast<float>(m_secondsLeft) * m_fps : 0.0f);
  DrawCounter(window, kTallyCounterKind, kPirateKinds - m_pairsLeft, kPirateKinds);
}

void cpirategame::DrawModel(RenderWindow* window, int32_t geometry, AnimationHelper* helper,
                            const Vector4& position, const Vector4& scale, const Vector4& tint,
                            uint32_t flags) {
  NodeContainer* container =
      geometry == -1 ? nullptr : GetApp().GetNodeFactory()->GetContainer(geometry);
  if (!container) {
    m_missingModel.Raise("pNode!=NULL", __FILE__, __LINE__);
    return;
  }
  RenderNodeRecord record;
  record.container = container;
  Matrix placement;
  placement.Diagonal(scale);
  placement.SetTranslation(Vector4(position.x, position.y, position.z, 1.0f));
  record.SetPlacement(placement);
  record.SetFlags(flags);
  record.SetTint(tint);
  record.SetSkeleton(helper ? helper->PoseGeo() : nullptr);
  window->AddRenderNode(record);
}

void cpirategame::DrawBoard(RenderWindow* window) {
  if (!m_boardAnim) return;
  DrawModel(window, m_boardAnim->GetModel(), m_boardAnim, m_boardPos, kUnitScale, kWhite,
            kBoardFlags);
}

void cpirategame::DrawPirates(RenderWindow* window) {
  if (!m_holes) return;
  const bool firstOut = m_firstPicked || m_revealSeconds > 0;
  const bool secondOut = m_secondPicked || m_revealSeconds > 0;
  const int32_t firstKind = KindOf(m_firstHole), secondKind = KindOf(m_secondHole);
  PirateAnimSet* first = SetFor(0, firstKind);
  PirateAnimSet* second = SetFor(1, secondKind);
  if (firstOut && first) {
    const bool alone = !m_secondPicked && m_revealSeconds == 0;
    const Vector4& at = alone ? m_leapPos : m_holes[m_firstHole].targetPos;
    DrawModel(window, m_pirateGeos[firstKind], first->helper, at,
              alone ? m_leapScale : kRevealedScale, kWhite, kModelFlags);
    if (m_firstPicked && first->helper && !first->helper->IsAnimationActive(first->leapLeft) &&
        !first->helper->IsAnimationActive(first->leapRight))
      DrawPirate(OverlayWindow(), *first, firstKind);
  }
  if (secondOut && second) {
    DrawModel(window, m_pirateGeos[secondKind], second->helper, m_leapPos, m_leapScale, kWhite,
              kModelFlags);
    if (m_secondPicked) DrawPirate(OverlayWindow(), *second, secondKind);
  }
}

void cpirategame::DrawPirate(RenderWindow* window, const PirateAnimSet& set, int32_t kind) {
  if (!window || kind < 0) return;
  DrawModel(window, m_pirateGeos[kind], set.helper, Vector4(0.0f, 0.0f, 0.0f, 1.0f), kUnitScale,
            kWhite, kModelFlags);
}

void cpirategame::DrawTallyAndCovers(RenderWindow* window) {
  int32_t found = kPirateKinds - m_pairsLeft - (m_matchShown ? 1 : 0);
  for (int32_t i = 0; i < found && i < kPirateKinds; ++i)
    DrawModel(window, m_tallyGeos[i], nullptr, Vector4(0.0f, 0.0f, 0.0f, 1.0f), kUnitScale, kWhite,
              kTallyFlags);
  const int32_t newest = kPirateKinds - 1 - m_pairsLeft;
  if (m_playPhase == kPhasePairFound && m_tallyFading && newest >= 0 && newest < kPirateKinds)
    DrawModel(window, m_tallyGeos[newest], nullptr, Vector4(0.0f, 0.0f, 0.0f, 1.0f), kUnitScale,
              Vector4(1.0f, 1.0f, 1.0f, m_tallyFade), kTallyFlags);
  Scene* scene = GetScene();
  for (int32_t i = 0; scene && m_holes && i < kHoles; ++i) {
    const PirateHole& hole = m_holes[i];
    GameNode* cover = NodeAt(scene, hole.objectNode);
    if (!cover || !(hole.occupied || !hole.outOfPlay)) continue;
    float shade = 1.0f;
    if (hole.outOfPlay) {
      shade = kOutOfPlayShade;
    } else if (hole.selected) {
      shade = m_pulse;
    }
    cover->tint.Set(shade, shade, shade, 1.0f);
  }
}

void cpirategame::DrawReturningPirates(RenderWindow* window) {
  const auto [hole1, hole2, set1] = GetReturningHoles();
  if (PirateAnimSet* set = SetFor(set1, KindOf(hole1)))
    DrawModel(window, m_pirateGeos[KindOf(hole1)], set->helper, m_returnPos1, m_returnScale, kWhite,
              kModelFlags);
  if (hole2 < 0) return;
  if (PirateAnimSet* set = SetFor(1, KindOf(hole2)))
    DrawModel(window, m_pirateGeos[KindOf(hole2)], set->helper, m_returnPos2, m_returnScale, kWhite,
              kModelFlags);
}

void cpirategame::DrawHookPointer(RenderWindow* window) {
  if (m_hookTexture == -1) return;
  const float x = static_cast<float>(m_pointerX), y = static_cast<float>(m_pointerY);
  const float w = static_cast<float>(m_pointerW), h = static_cast<float>(m_pointerH);
  const float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  AddHudQuad(window, m_hookTexture, x, y, x + w, y + h, 0xFFFFFFFFu, colour);
}

void cpirategame::DrawChest(RenderWindow* window) {
  if (!m_chestAnim) return;
  DrawModel(window, m_chestAnim->GetModel(), m_chestAnim, m_linePos[kLinePositions - 1], kUnitScale,
            kWhite, kModelFlags);
}

// Defined for the lives the game keeps, though nothing shows them.
void cpirategame::DrawLivesIcons(RenderWindow* window) {
  if (!window || m_iconTexture == -1) return;
  const float width = static_cast<float>(GetApp().GetWidth());
  const float height = static_cast<float>(GetApp().GetHeight());
  for (int32_t i = 0; i < m_lives; ++i)
    DrawHudTexture(window, m_iconTexture, width - 32.0f - static_cast<float>(i) * width / 20.0f,
                   height / 20.0f);
}
