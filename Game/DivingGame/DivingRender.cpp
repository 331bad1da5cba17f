// Drawing the pool: the camera of the current shot, Jory, Cobb and the lifeguard with their
// shadows, the boards and the wheelchair, the HUD (time, score, dives), the power bar and the
// list of the dive's events; then the sound listener follows the camera.
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCPolygonPools.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/DivingGame/cDivingGame.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Localisation/LocalisedText.h"

namespace {

constexpr float kLateShotFov = 1.1519173f;
constexpr float kLookHeight = 80.0f;
constexpr float kPathLookAhead = 200.0f;
constexpr float kHangingLookRaise = 200.0f;
constexpr float kFlipPivot = 119.6f;
constexpr float kSwimCameraFreeze = -21.0f;
constexpr int32_t kDivesCounterKind = 10;
constexpr int32_t kDiveListTexts[7] = {177, 191, 196, 193, 195, 192, 194};
constexpr uint32_t kDiveListColours[3] = {0xFF770303u, 0xFF7F7F7Fu, 0xFF113055u};
constexpr int32_t kDiveListX = 40;
constexpr int32_t kDiveListY = 380;
constexpr int32_t kDiveListStep = 20;
constexpr float kBarX = 576.0f;
constexpr float kBarY = 178.0f;
constexpr float kRedStartY = 304.0f;
constexpr float kBlueStartY = 200.0f;
constexpr float kTile = 16.0f;
constexpr float kIndicatorX = 568.0f;
constexpr float kArrowX = 569.0f;
constexpr float kArrowDrop = 8.0f;
constexpr float kIconSize = 32.0f;
constexpr Vector4 kWhite(1.0f, 1.0f, 1.0f, 1.0f);

Vector4 Offset(const Vector4& p, float dx, float dy, float dz) {
  return Vector4(p.x + dx, p.y + dy, p.z + dz, p.w);
}

Vector4 LerpXYZ(const Vector4& a, const Vector4& b, float t) {
  return Vector4(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t, a.w);
}

float Ratio(float part, float whole) { return whole != 0.0f ? part / whole : 0.0f; }

// The rotation of three angles (the third the heading) at a position.
Matrix RotationAt(float a, float b, float c, const Vector4& at) {
  const float sa = Sin(a), ca = Cos(a), sb = Sin(b), cb = Cos(b), sc = Sin(c), cc = Cos(c);
  Matrix m;
  m[0] = cc * cb;
  m[1] = sb * sa * cc + ca * sc;
  m[2] = sc * sa - sb * ca * cc;
  m[4] = -cb * sc;
  m[5] = ca * cc - sb * sa * sc;
  m[6] = sb * ca * sc + sa * cc;
  m[8] = sb;
  m[9] = -sa * cb;
  m[10] = cb * ca;
  m.SetTranslation(Vector4(at.x, at.y, at.z, 1.0f));
  return m;
}

// A 4-vertex screen strip of a texture at its own size.
void Strip(RenderWindow* window, int32_t texture, float x0, float y0, float x1, float y1,
           const float* factors) {
  AddHudQuad(window, texture, x0, y0, x1, y1, 0xFFFFFFFFu, factors);
}

}  // namespace

void cDivingGame::Render() {
  RenderWindow* window = Window();
  if (!window) return;
  // The intro fades in and the end of a run fades out.
  const float v = m_fadeTimer.Fraction();
  window->SetColourFactors(v, v, v, 1.0f);
  DrawIngameText(window);
  if (Scene* scene = GetApp().GetSceneFactory()->FindScene(m_sceneId)) scene->AdvanceTime(0);
  DrawScene(window);
  DrawHud(window);
  if (m_divePhase == kDivePhaseOnBoard && !m_timeUp) DrawPowerBar(window);
  if (m_diveListShown > 0) DrawDiveList(window);
  if (CSoundWrapper* sound = GetSoundWrapper()) {
    if (window->GetCamera()) sound->SetListenerFromCamera(*window->GetCamera());
    sound->Update();
  }
}

void cDivingGame::DrawScene(RenderWindow* window) {
  PlaceCamera(window);
  DrawCharacters(window);
  DrawProps(window);
}

void cDivingGame::PlaceCamera(RenderWindow* window) {
  const DivingLayout& l = m_layout;
  const Vector4 look = Offset(m_joryPos, 0.0f, 0.0f, kLookHeight);
  float t = 0.0f;
  switch (m_cameraShot) {
    case kShotPoolside:
      m_camera.SetPosition(l.cameraA);
      m_camera.SetTarget(l.cameraTargets[1]);
      return;
    case kShotPath:
      t = Ratio(m_distanceShown, l.totals[kTotalPathFirst]);
      m_camera.SetPosition(LerpXYZ(l.cameraPoints[kCamC00], l.cameraPoints[kCamC01], t));
      m_camera.SetTarget(Offset(m_joryPos, kPathLookAhead, 0.0f, kLookHeight));
      break;
    case kShotPathFar:
      t = Ratio(m_distanceShown, l.totals[kTotalPathSecond]);
      m_camera.SetPosition(LerpXYZ(l.cameraPoints[kCamD00], l.cameraPoints[kCamD01], t));
      m_camera.SetTarget(m_climbStarted ? Offset(m_climbPoint, 0.0f, 0.0f, kLookHeight) : look);
      break;
    case kShotSwim:
      if (m_joryPos.z <= kSwimCameraFreeze) return;
      t = Ratio(m_distanceShown, l.totals[kTotalReturn0 + m_diveBoard]);
      m_camera.SetPosition(LerpXYZ(l.cameraPoints[kCamE00], l.cameraPoints[kCamE01], t));
      m_camera.SetTarget(look);
      break;
    case kShotLowLadder:
    case kShotMiddleLadderTop:
    case kShotToHighBoard:
      m_camera.SetPosition(l.cameraPoints[kCamF + (m_cameraShot - kShotLowLadder)]);
      m_camera.SetTarget(look);
      return;
    case kShotTakeOffLow:
      if (m_joryPos.z <= 0.0f) return;
      m_camera.SetPosition(l.cameraPoints[kCamI]);
      m_camera.SetTarget(look);
      return;
    case kShotTakeOffMiddle:
    case kShotTakeOffHigh: {
      if (m_joryPos.z <= 0.0f) return;
      const int32_t from = m_cameraShot == kShotTakeOffMiddle ? kCamJ00 : kCamK00;
      Vector4 eye = l.cameraPoints[from];
      if (m_apex < 0.0f) {
        t = Ratio(m_distanceShown, m_apex);
        if (t > 1.0f) t = 1.0f;
        eye = LerpXYZ(l.cameraPoints[from], l.cameraPoints[from + 1], t);
      }
      m_camera.SetPosition(eye);
      m_camera.SetTarget(look);
      break;
    }
    case kShotStoppedHigh:
    case kShotStoppedGround:
    case kShotStoppedLow:
    case kShotStoppedLowBoard: {
      const int32_t late = m_cameraShot - kShotStoppedHigh;
      m_camera.SetFov(window, kLateShotFov);
      m_camera.SetPosition(l.lateCameras[late]);
      Vector4 target = l.lateTargets[late];
      if (late == 0 && m_sequenceKind == 1) target.z += kHangingLookRaise;
      m_camera.SetTarget(target);
      return;
    }
    default:
      return;
  }
  m_cameraProgress = t;
}

void cDivingGame::AddModel(RenderWindow* window, int32_t model, const Matrix& world, uint32_t flags,
                           const Vector4& colour, Skeleton* pose) {
  NodeContainer* container = model != -1 ? GetApp().GetNodeFactory()->Find(model) : nullptr;
  if (!container) return;
  RenderNodeRecord record;
  record.container = container;
  record.SetPlacement(world);
  record.SetFlags(flags);
  record.SetTint(colour);
  record.SetSkeleton(pose);
  window->AddRenderNode(record);
}

void cDivingGame::DrawCharacters(RenderWindow* window) {
  Matrix jory = JoryMatrix();
  if (m_divePhase == kDivePhaseDive) {
    // In the air he turns about his middle, not his feet.
    Matrix lower;
    lower.Translation(Vector4(0.0f, 0.0f, -kFlipPivot, 1.0f));
    Matrix turned = jory;
    turned.SetTranslation(Vector4(m_joryPos.x, m_joryPos.y, m_joryPos.z + kFlipPivot, 1.0f));
    Multiply(lower, turned, jory);
  }
  if (m_jory) AddModel(window, m_jory->GetModel(), jory, 0, kWhite, m_jory->PoseGeo());
  if (m_divePhase != kDivePhaseDive && m_walking)
    AddModel(window, m_shadowModel, jory, 0, kWhite, nullptr);
  const DivingLayout& l = m_layout;
  if (m_lifeguard && m_lifeguardModel != -1) {
    const Matrix world =
        RotationAt(l.lifeguardAngles.x, l.lifeguardAngles.y, l.lifeguardAngles.z, l.lifeguardStand);
    AddModel(window, m_lifeguardModel, world, 0, kWhite, m_lifeguard->PoseGeo());
    AddModel(window, m_shadowModel, world, 0, kWhite, nullptr);
  }
  if (m_cobb && m_cobbModel != -1) {
    m_cobbDrawAngles = l.cobbAngles;
    m_cobbDrawAngles.z += m_cobbTurn;
    const Matrix world =
        RotationAt(m_cobbDrawAngles.x, m_cobbDrawAngles.y, m_cobbDrawAngles.z, l.cobbStand);
    AddModel(window, m_cobbModel, world, 0, kWhite, m_cobb->PoseGeo());
    AddModel(window, m_shadowModel, world, 0, kWhite, nullptr);
  }
}

void cDivingGame::DrawProps(RenderWindow* window) {
  const DivingLayout& l = m_layout;
  const Vector4 glow(m_pulse, m_pulse, m_pulse, 1.0f);
  const bool window0 =
      m_ladderWindow && m_nodeIndex >= m_board0WindowStart && m_nodeIndex <= m_board0TurnPoint;
  const bool window1 =
      m_ladderWindow && m_nodeIndex >= m_board1WindowStart && m_nodeIndex <= m_board1TurnPoint;
  Matrix at;
  at.Translation(l.boardLocators[1]);
  AddModel(window, m_boardModel, at, 0, window0 ? glow : kWhite, nullptr);
  at.Translation(l.boardLocators[2]);
  AddModel(window, m_boardModel, at, 0, window1 ? glow : kWhite, nullptr);
  const Matrix chair = RotationAt(0.0f, 0.0f, kPi, l.renderChair);
  AddModel(window, m_wheelchairModel, chair, 1, m_chairOffer ? glow : kWhite, nullptr);
}

void cDivingGame::DrawHud(RenderWindow* window) {
  const float frames = m_timeLeft > 0 ? static_cast<float>(m_timeLeft) * Fps() : 0.0f;
  DrawTime(window, frames);
  if (GetMode() != kModeNormal) return;
  DrawScore(window, 0);
  DrawCounter(window, kDivesCounterKind, static_cast<int32_t>(m_divesDone), DivesNeeded());
}

void cDivingGame::DrawPowerBar(RenderWindow* window) {
  const PowerBarLayout bar = LayOutPowerBar(m_power);
  HudRect covered = DrawHudTexture(window, m_hudTextures[kTexBarBackground], kBarX, kBarY);
  for (int32_t i = 0; i < bar.redTiles; ++i)
    covered.Include(
        DrawHudTexture(window, m_hudTextures[kTexBarRedMiddle], kBarX, kRedStartY - kTile * i));
  for (int32_t i = 0; i < bar.blueTiles; ++i)
    covered.Include(
        DrawHudTexture(window, m_hudTextures[kTexBarBlueMiddle], kBarX, kBlueStartY + kTile * i));
  const float y = static_cast<float>(bar.indicatorY);
  covered.Include(DrawHudTexture(window, m_hudTextures[kTexBarIndicator], kIndicatorX, y));
  const int32_t arrow = m_hudTextures[kTexBarArrow];
  if (arrow == -1) {
    NoteHudPiece("power", covered);
    return;
  }
  const float w = static_cast<float>(GetApp().GetTexture()->GetWidth(arrow));
  const float h = static_cast<float>(GetApp().GetTexture()->GetHeight(arrow));
  // Red on the high board near full spring: the overshoot warning.
  const bool warn = bar.t > 0.95f && m_chosenBoard == 2;
  const float factors[4] = {1.0f, warn ? 0.0f : 1.0f, warn ? 0.0f : 1.0f, 1.0f};
  Strip(window, arrow, kArrowX, y + kArrowDrop, kArrowX + w, y + kArrowDrop + h, factors);
  covered.Include(HudRect{kArrowX, y + kArrowDrop, kArrowX + w, y + kArrowDrop + h});
  NoteHudPiece("power", covered);
}

void cDivingGame::DrawDiveList(RenderWindow* window) {
  BaseFont* font = GetMessageFont();
  const uint32_t shown = m_diveListCount < m_diveListShown ? m_diveListCount : m_diveListShown;
  HudRect covered;
  for (uint32_t j = 0; j < shown; ++j) {
    const uint32_t u = m_diveListCount - shown + j;
    const int32_t kind = m_diveList[u];
    if (kind < 0 || kind > 6) continue;
    const char16_t* text = GetLocalisedText(kDiveListTexts[kind]);
    const int32_t y = kDiveListY + kDiveListStep * static_cast<int32_t>(j);
    window->PrintText(text, kDiveListX, y, kDiveListColours[u % 3], 0.0f, font);
    if (font && text)
      covered.Include(HudRect{static_cast<float>(kDiveListX), static_cast<float>(y),
                              static_cast<float>(kDiveListX + font->GetStringWidth(text)),
                              static_cast<float>(y + font->GetLineHeight())});
  }
  NoteHudPiece("dive list", covered);
}

void cDivingGame::DrawIconRow(RenderWindow* window) {
  const int32_t width = GetApp().GetWidth();
  const int32_t height = GetApp().GetHeight();
  const int32_t step = width / 20;
  const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  for (int32_t i = 0; i < m_iconCount; ++i) {
    const float x = static_cast<float>(width - step - i * step);
    const float y = static_cast<float>(height / 20);
    Strip(window, m_hudTextures[kTexChallengeIcon], x, y, x + kIconSize, y + kIconSize, white);
  }
}
