// The penalty-kick game's frame: the pitch's characters, ball and targets into the pitch window,
// the wind arrow into the overlay window with its fixed camera, and the HUD: goals counter, clock,
// wind-strength bar and power bar. Drawing changes no play state but the wind arrow's angle.
#include <cstdio>

#include "Engine/Assert.h"
#include "Engine/FastMathRotation.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCSkeleton.h"
#include "Game/FootballGame/FootballGame.h"
#include "Game/FootballGame/FootballMath.h"
#include "Game/Helper/AnimationHelper.h"

using namespace football;

namespace {

constexpr Vector4 kWhite(1.0f, 1.0f, 1.0f, 1.0f);
constexpr Vector4 kDimmed(0.4f, 0.4f, 0.4f, 1.0f);
constexpr uint32_t kGoalsColour = 0xFF44707Cu;

Matrix Placed(const Matrix& rotation, const Vector4& at) {
  Matrix m = rotation;
  m.SetTranslation(Vector4(at.x, at.y, at.z, 1.0f));
  return m;
}

// The ground under a character's root bone, as its posed skeleton puts it.
Vector4 GroundUnderRoot(AnimationHelper* anim, const Matrix& world) {
  Skeleton* skeleton = anim ? anim->GetSkeleton() : nullptr;
  Matrix root;
  if (skeleton && skeleton->GetBoneWorldMatrix(0, world, root))
    return Vector4(root[12], root[13], 0.0f, 1.0f);
  return Vector4(world[12], world[13], 0.0f, 1.0f);
}

}  // namespace

void cfootballgame::Render() {
  RenderWindow* pitch = PitchWindow();
  if (!pitch) return;
  DrawIngameText(pitch);
  if (phase == kPhaseIntro && introStep != kIntroStartScript) {
    if (introStep != kIntroFadeUp) {
      DrawIntroDulcie();
    } else {
      DrawKeeper();
      DrawDefenders();
      DrawTargets();
      DrawHud();
      DrawWindArrow();
      DrawBall();
    }
  } else {
    DrawHud();
    ApplyFade();
    if (clemencyVisible) DrawClemency();
    if (orwenActive) DrawOrwen();
    if (mode == kModeNormal) DrawTargets();
    DrawWindArrow();
    DrawKeeper();
    DrawDefenders();
    DrawBall();
  }
  const bool fading = m_fadeTimer.IsRunning() != 0;
  if (phase == kPhaseAim || (phase == kPhaseNextKick && fading)) DrawAimArrow();
  if (phase == kPhaseRunUp || timeUpDuringRunUp) {
    DrawPowerBar();
    DrawDulcie();
  }
  const bool afterKick = dulcieAnim && (dulcieAnim->IsAnimationActive(dulcieCelebrate) ||
                                        dulcieAnim->IsAnimationActive(dulcieLosing));
  if ((phase == kPhaseNextKick && !fading && afterKick) || phase == kPhaseCelebration ||
      phase == kPhaseKeeperHolds || phase == kPhaseTimeUp || phase == kPhaseEnd ||
      phase == kPhaseGoalOrbit)
    DrawDulcie();
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    if (pitch->GetCamera()) sound->SetListenerFromCamera(*pitch->GetCamera());
    sound->Update();
  }
}

void cfootballgame::ApplyFade() {
  // Only the overlay fades: the pitch, its HUD and its messages keep their full colour. Once a
  // fade has run out the overlay is back at full colour too, not at the fade's last step.
  const float fraction = m_fadeTimer.Fraction();
  const float v = fraction < 1.0f ? fraction : 1.0f;
  if (RenderWindow* overlay = OverlayWindow()) overlay->SetColourFactors(v, v, v, 1.0f);
}

// ---- Models.

void cfootballgame::DrawModel(int32_t geo, const Matrix& world, const Vector4& colour,
                              AnimationHelper* anim, RenderWindow* window) {
  RenderWindow* target = window ? window : PitchWindow();
  NodeContainer* node = geo != -1 ? GetApp().GetNodeFactory()->Find(geo) : nullptr;
  if (!node) missingModel.Raise("node != nullptr", __FILE__, __LINE__);
  if (!target || !node) return;
  RenderNodeRecord record;
  record.container = node;
  record.placement = world;
  record.flags = 0;
  record.tint = colour;
  record.skeleton = anim ? anim->PoseGeo() : nullptr;
  // A skinned model without its skeleton would draw in its bind pose at the world's origin.
  if (anim && !record.skeleton) return;
  target->AddRenderNode(record);
}

void cfootballgame::DrawShadow(int32_t geo, float x, float y, float scale) {
  Matrix m;
  m.Scaling(scale, scale, 1.0f);
  m.SetTranslation(Vector4(x, y, 0.0f, 1.0f));
  DrawModel(geo, m, kWhite, nullptr);
}

void cfootballgame::DrawCharacterAt(AnimationHelper* anim, const Vector4& at, float turn) {
  if (!anim) return;
  const Matrix world = PlacedZ(turn, at);
  DrawModel(anim->GetModel(), world, kWhite, anim);
}

void cfootballgame::DrawTargets() {
  Matrix none;
  none.Identity();
  for (int32_t i = 0; i < kTargetCount; ++i)
    DrawModel(targetGeo, Placed(none, targetZones[i]), targetLit[i] ? kWhite : kDimmed, nullptr);
}

void cfootballgame::DrawAimArrow() {
  Matrix rotation;
  MatrixFromRotation(kRotationEulerXYZ, Vector4(aim.x, aim.y, aim.z, 0.0f), rotation);
  DrawModel(arrowGeo, Placed(rotation, ballPosition), kWhite, nullptr);
}

void cfootballgame::DrawBall() {
  Matrix roll, turn, both;
  roll.RotationY(ballRoll);
  turn.RotationZ(Atan2(ballVelocity.y, ballVelocity.x) - kPi);
  Multiply(roll, turn, both);
  DrawModel(ballGeo, Placed(both, ballPosition), kWhite, nullptr);
  DrawShadow(shadowBlobGeo, ballPosition.x, ballPosition.y, 0.5f);
}

void cfootballgame::DrawWindArrow() {
  RenderWindow* overlay = OverlayWindow();
  if (!overlay) return;
  if (phase == kPhaseAim) windArrowAngle = Atan2(-wind.y, -wind.x) - heading;
  Matrix rotation;
  MatrixFromRotation(kRotationEulerZYX, Vector4(-0.05f, 0.0f, windArrowAngle, 0.0f), rotation);
  float width = static_cast<float>(overlay->GetWidth());
  if (width < 640.0f) width = 640.0f;
  const Vector4 at((width - 640.0f) * 0.25f + 550.0f, 900.0f, 0.0f, 1.0f);
  DrawModel(windArrowGeo, Placed(rotation, at), kWhite, nullptr, overlay);
}

void cfootballgame::DrawKeeper() {
  if (!keeperAnim) return;
  const bool facesBall = phase < kPhaseFlight || shotClass == kShotFarFromGoal ||
                         shotClass == kShotRestsNearGoal ||
                         (phase == kPhaseNextKick && m_fadeTimer.IsRunning());
  const float turn =
      facesBall
          ? Atan2(ballPosition.y - keeperPosition.y, ballPosition.x - keeperPosition.x) + kHalfPi
          : kHalfPi;
  const Matrix world = PlacedZ(turn, keeperPosition);
  DrawModel(keeperAnim->GetModel(), world, kWhite, keeperAnim);
  const Vector4 ground = GroundUnderRoot(keeperAnim, world);
  DrawShadow(shadowBlobGeo, ground.x, ground.y, 1.0f);
}

void cfootballgame::DrawDefenders() {
  for (cDefender* defender : defenders) {
    if (!defender || !defender->anim) continue;
    if (phase == kPhaseRunUp && defender->blocksView) continue;
    DrawModel(defender->anim->GetModel(), PlacedZ(defender->heading, defender->position), kWhite,
              defender->anim);
    DrawShadow(shadowBlobGeo, defender->position.x, defender->position.y, 1.0f);
  }
}

void cfootballgame::DrawIntroDulcie() {
  DrawCharacterAt(dulcieAnim, dulcieStartPosition, -kHalfPi);
  DrawShadow(shadowBlobLargeGeo, dulcieStartPosition.x, dulcieStartPosition.y, 1.0f);
}

void cfootballgame::DrawClemency() {
  DrawCharacterAt(clemencyAnim, clemencyPosition, 0.0f);
  DrawShadow(shadowBlobLargeGeo, clemencyPosition.x, clemencyPosition.y, 1.0f);
}

void cfootballgame::DrawOrwen() {
  DrawCharacterAt(orwenAnim, orwenPosition, orwenHeading);
  DrawCharacterAt(bikeAnim, orwenPosition, orwenHeading);
  DrawShadow(shadowBlobLargeGeo, orwenPosition.x, orwenPosition.y, 1.0f);
}

void cfootballgame::DrawDulcie() {
  if (!dulcieAnim) return;
  Vector4 at;
  float turn;
  const bool afterKick = phase == kPhaseNextKick || phase == kPhaseCelebration ||
                         phase == kPhaseKeeperHolds || phase == kPhaseTimeUp || phase == kPhaseEnd;
  if (timeUpDuringRunUp || !afterKick) {
    at = Vector4((1.0f - runUp) * runUpStart.x + runUp * runUpEnd.x,
                 (1.0f - runUp) * runUpStart.y + runUp * runUpEnd.y, 0.0f, 1.0f);
    turn = runUpHeading;
  } else {
    at = dulcieSpot;
    if (phase == kPhaseCelebration)
      turn = kHalfPi;
    else if (phase == kPhaseKeeperHolds)
      turn = -kHalfPi;
    else
      turn = ballState == kBallGoalBound ? kHalfPi : -kHalfPi;
  }
  const Matrix world = PlacedZ(turn, at);
  DrawModel(dulcieAnim->GetModel(), world, kWhite, dulcieAnim);
  const Vector4 ground = GroundUnderRoot(dulcieAnim, world);
  DrawShadow(shadowBlobLargeGeo, ground.x, ground.y, 1.0f);
}

// ---- The HUD.

void cfootballgame::DrawHud() {
  RenderWindow* pitch = PitchWindow();
  if (!pitch) return;
  if (mode == kModeNormal) DrawScore(pitch, 0);
  DrawTime(pitch, timeLeft ? static_cast<float>(timeLeft) * frameRate : 0.0f);
  DrawGoalsCounter();
  DrawWindBar();
}

void cfootballgame::DrawGoalsCounter() {
  RenderWindow* pitch = PitchWindow();
  HudRect covered = DrawHudTexture(pitch, hudTextures[kTexGoalsBackground], 391.0f, 21.0f);
  BaseFont* font = GetMessageFont();
  if (pitch && font) {
    char text[16];
    std::snprintf(text, sizeof(text), "%u", goals);
    const float x = goals < 10 ? 400.0f : 392.0f;
    pitch->PrintText(text, static_cast<int32_t>(x), 24, kGoalsColour, 0.0f, font);
    covered.Include(HudRect{x, 24.0f, x + static_cast<float>(font->GetStringWidth(text)),
                            24.0f + static_cast<float>(font->GetLineHeight())});
  }
  NoteHudPiece("goals", covered);
}

void cfootballgame::DrawWindBar() {
  RenderWindow* pitch = PitchWindow();
  const int32_t middle = hudTextures[kTexWindMiddle];
  HudRect covered = DrawHudTexture(pitch, hudTextures[kTexWindBackground], 477.0f, 21.0f);
  covered.Include(DrawHudTexture(pitch, hudTextures[kTexWindLeft], 467.0f, 21.0f));
  const float w = windStrength * 116.0f;
  const int32_t pieces = static_cast<int32_t>(w * 0.0625f);
  const int32_t whole = static_cast<int32_t>(w);
  if (pieces > 0) {
    for (int32_t i = 0; i < pieces; ++i)
      covered.Include(DrawHudTexture(pitch, middle, 483.0f + 16.0f * static_cast<float>(i), 21.0f));
    covered.Include(DrawHudTexture(pitch, middle, 467.0f + static_cast<float>(whole), 21.0f));
  } else if (w > 1.0f && pitch && middle != -1) {
    const float h = static_cast<float>(GetApp().GetTexture()->GetHeight(middle));
    const float u = w / 128.0f;
    const PolyVertex2D strip[4] = {{483.0f, 21.0f, 0.0f, 1.0f, 0xFFFFFFFFu, 0.0f, 0.0f},
                                   {483.0f + w, 21.0f, 0.0f, 1.0f, 0xFFFFFFFFu, u, 0.0f},
                                   {483.0f, 21.0f + h, 0.0f, 1.0f, 0xFFFFFFFFu, 0.0f, 1.0f},
                                   {483.0f + w, 21.0f + h, 0.0f, 1.0f, 0xFFFFFFFFu, u, 1.0f}};
    const float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    pitch->Add2DPolyStrip(middle, 4, strip, colour,
                          PolygonPools::kNoCulling | PolygonPools::kBlended);
    covered.Include(HudRect{483.0f, 21.0f, 483.0f + w, 21.0f + h});
  }
  covered.Include(
      DrawHudTexture(pitch, hudTextures[kTexWindRight], 483.0f + static_cast<float>(whole), 21.0f));
  NoteHudPiece("wind", covered);
}

void cfootballgame::DrawPowerBar() {
  RenderWindow* pitch = PitchWindow();
  const float p = (300.0f - powerBar) / 200.0f;
  HudRect covered = DrawHudTexture(pitch, hudTextures[kTexPowerBackground], 576.0f, 178.0f);
  const float y = 299.0f - p * 112.0f;
  const int32_t lower = static_cast<int32_t>((320.0f - y) * 0.0625f);
  for (int32_t i = 0; i < lower; ++i)
    covered.Include(DrawHudTexture(pitch, hudTextures[kTexPowerRedMiddle], 576.0f,
                                   304.0f - 16.0f * static_cast<float>(i)));
  const int32_t upper = static_cast<int32_t>((y + 16.0f - 200.0f) * 0.0625f);
  for (int32_t i = 0; i < upper; ++i)
    covered.Include(DrawHudTexture(pitch, hudTextures[kTexPowerBlueMiddle], 576.0f,
                                   200.0f + 16.0f * static_cast<float>(i)));
  const float marker = static_cast<float>(static_cast<int32_t>(y));
  covered.Include(DrawHudTexture(pitch, hudTextures[kTexPowerIndicator], 568.0f, marker));
  covered.Include(DrawHudTexture(pitch, hudTextures[kTexPowerArrow], 569.0f, marker + 8.0f));
  NoteHudPiece("power", covered);
}

void cfootballgame::DrawIconRow() {
  RenderWindow* pitch = PitchWindow();
  const int32_t icon = hudTextures[kTexGorstIcon];
  if (!pitch || icon == -1) return;
  const float w = static_cast<float>(pitch->GetWidth()), h = static_cast<float>(pitch->GetHeight());
  const float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  for (int32_t i = 0; i < gorstIconCount; ++i) {
    const float x = w - w / 20.0f - static_cast<float>(i) * (w / 20.0f), top = h / 20.0f;
    AddHudQuad(pitch, icon, x, top, x + 32.0f, top + 32.0f, 0xFFFFFFFFu, colour);
  }
}
