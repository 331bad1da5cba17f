// The harness's samples: each shows one engine service in use and runs on its own.

#include <cmath>
#include <cstring>

#include "Engine/AnimationSequencer.h"
#include "Engine/Assert.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCLightManager.h"
#include "Engine/PC/PCSkeleton.h"
#include "Game/KavelHelper.h"

namespace {

constexpr const char* kCharacterModel = "jory.geo";
constexpr const char* kAnimationNames[3] = {"jory_out_of_wheelchair.anm", "jory_swim.anm",
                                            "jory_swim.anm"};
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kNeutral = 0xFF7F7F7Fu;
const float kFactors[4] = {1.0f, 1.0f, 1.0f, 1.0f};

// The rotation of three angles in the same sine and cosine product form as the editor's quads.
Matrix RotationOf(const float* angles, const Vector4& position) {
  const float sx = std::sin(angles[0]), cx = std::cos(angles[0]);
  const float sy = std::sin(angles[1]), cy = std::cos(angles[1]);
  const float sz = std::sin(angles[2]), cz = std::cos(angles[2]);
  Matrix m;
  m.Identity();
  const float rows[3][3] = {{cy * cz, sy * sx * cz + cx * sz, sz * sx - cx * cz * sy},
                            {-cy * sz, cx * cz - sy * sx * sz, cx * sy * sz + sx * cz},
                            {sy, -cy * sx, cx * cy}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m.m[r * 4 + c] = rows[r][c];
  m.SetTranslation(Vector4(position.x, position.y, position.z, 1.0f));
  return m;
}

void AddAtHead(KavelList* list, KavelListItem* item) {
  item->previous = nullptr;
  item->next = list->head;
  if (list->head) list->head->previous = item;
  list->head = item;
  if (!list->tail) list->tail = item;
}

void AddAtTail(KavelList* list, KavelListItem* item) {
  item->next = nullptr;
  item->previous = list->tail;
  if (list->tail) list->tail->next = item;
  list->tail = item;
  if (!list->head) list->head = item;
}

void Remove(KavelList* list, KavelListItem* item) {
  if (list->head == item) list->head = item->next;
  if (list->tail == item) list->tail = item->previous;
  if (item->previous) item->previous->next = item->next;
  if (item->next) item->next->previous = item->previous;
  item->previous = nullptr;
  item->next = nullptr;
}

int32_t CountFrom(const KavelListItem* item) {
  int32_t count = 0;
  for (; item; item = item->next) ++count;
  return count;
}

}  // namespace

void KavelHelper::CreateCharacters(KavelHelperState& state) {
  App& app = GetApp();
  state.characters = TrackedNewArray<KavelHelperCharacter>("KavelHelper::CreateCharacters",
                                                           KavelHelperState::kCharacterCount);
  if (!state.characters) return;
  // One model for all four: added once here, deleted once in DeleteCharacters.
  state.characterModel = app.GetNodeFactory()->Add(kCharacterModel);
  for (int32_t i = 0; i < KavelHelperState::kCharacterCount; ++i) {
    KavelHelperCharacter& character = state.characters[i];
    character.active = 1;
    character.model = state.characterModel;
    character.animationIndex = i % 2;
    if (character.model != -1) CreateAnimationSequence(character);
    character.position = Vector4(128.0f - 160.0f * static_cast<float>(i), -512.0f, 0.0f, 0.0f);
    character.speed = static_cast<float>(i) * 0.25f + 0.01f;
    if (character.model != -1)
      character.skeleton = app.GetNodeFactory()->MakeSkeleton(character.model);
  }
}

void KavelHelper::LoadAnimations(KavelHelperCharacter& character) {
  character.animations = TrackedAlloc<int32_t>("KavelHelper::LoadAnimations", 3);
  if (!character.animations) return;
  for (int32_t i = 0; i < 3; ++i)
    character.animations[i] = GetApp().GetAnimFactory()->AddAnim(kAnimationNames[i]);
}

void KavelHelper::CreateAnimationSequence(KavelHelperCharacter& character) {
  LoadAnimations(character);
  if (!character.animations) return;
  const int32_t anim = character.animations[character.animationIndex];
  if (anim == -1) return;
  character.sequencer =
      TrackedNew<AnimationSequencer>("KavelHelper::CreateAnimationSequence", anim);
  character.pose = AnimationSequencer::CreatePose(anim);
  if (!character.sequencer) return;
  for (int32_t track = 0; track < 2; ++track) {
    character.sequencer->Play(track, anim, 0.0f);
    character.sequencer->SetPlayMode(track, 1);
  }
}

void KavelHelper::UpdateCharacter(KavelHelperState& state, KavelHelperCharacter& character,
                                  RenderWindow* window) {
  if (!character.sequencer || !character.pose || !character.skeleton) return;
  character.sequencer->Update(character.speed * GetApp().GetTimeStep() / 60.0f);
  character.sequencer->GetPose(character.pose);
  character.skeleton->ApplyPose(character.pose);
  character.skeleton->UpdateHierarchy();
  const int32_t thigh = character.skeleton->FindBone("Bip01 L Thigh");
  const int32_t calf = character.skeleton->FindBone("Bip01 L Calf");
  if (thigh < 0 || calf < 0) return;
  const Matrix world = RotationOf(character.angles, character.position);
  Matrix thighMatrix, calfMatrix;
  if (!character.skeleton->GetBoneWorldMatrix(thigh, world, thighMatrix) ||
      !character.skeleton->GetBoneWorldMatrix(calf, world, calfMatrix))
    return;
  CapsuleShape shape;
  shape.point = thighMatrix.GetRow(3);
  const Vector4 calfAt = calfMatrix.GetRow(3);
  shape.axis =
      Vector4(calfAt.x - shape.point.x, calfAt.y - shape.point.y, calfAt.z - shape.point.z, 0.0f);
  shape.radius = 12.0f;
  window->GetDebugLines()->AddCapsule(&shape, 12, kWhite);
  const Vector4 screen = ProjectToScreen(shape.point);
  BaseFont* font = state.font != -1 ? GetApp().GetFontFactory()->GetFont(state.font) : nullptr;
  window->PrintText("Bip01 L Thigh", static_cast<int32_t>(screen.x), static_cast<int32_t>(screen.y),
                    kWhite, 0.0f, font);
}

void KavelHelper::DrawCharacters(KavelHelperState& state, RenderWindow* window) {
  if (!state.characters) return;
  for (int32_t i = 0; i < KavelHelperState::kCharacterCount; ++i) {
    KavelHelperCharacter& character = state.characters[i];
    if (!character.active) continue;
    UpdateCharacter(state, character, window);
    NodeContainer* node = GetApp().GetNodeFactory()->GetContainer(character.model);
    KASSERT(node != nullptr);
    if (!node) continue;
    RenderNodeRecord record;
    record.container = node;
    record.placement = RotationOf(character.angles, character.position);
    record.tint = Vector4(1.0f, 1.0f, 1.0f, 1.0f);
    record.skeleton = character.skeleton;
    // Drawn in the noise texture rather than their own, so the rewritten texture shows on them.
    // The noise fills the alpha too: without the alpha test off, every frame whose noise falls
    // below the test's reference would leave them out.
    record.overrideTexture = state.noiseTexture;
    record.flags =
        state.noiseTexture != -1 ? MeshRecord::kTextureOverride | MeshRecord::kNoAlphaTest : 0;
    window->AddRenderNode(record);
  }
}

void KavelHelper::DeleteCharacters(KavelHelperState& state) {
  if (!state.characters) return;
  AnimFactory* anims = GetApp().GetAnimFactory();
  for (int32_t i = 0; i < KavelHelperState::kCharacterCount; ++i) {
    KavelHelperCharacter& character = state.characters[i];
    if (character.animations) {
      for (int32_t a = 0; a < 3; ++a)
        if (character.animations[a] != -1) anims->DeleteAnim(character.animations[a]);
      TrackedFree("KavelHelper::DeleteCharacters", character.animations);
    }
    if (character.sequencer) TrackedDelete("KavelHelper::DeleteCharacters", character.sequencer);
    if (character.pose) AnimationSequencer::DestroyPose(character.pose);
    // The skeleton reads the model's block: it goes before the model.
    if (character.skeleton) TrackedDelete("KavelHelper::DeleteCharacters", character.skeleton);
    character = KavelHelperCharacter();
  }
  if (state.characterModel != -1) GetApp().GetNodeFactory()->DeleteNode(state.characterModel);
  state.characterModel = -1;
  TrackedDeleteArray("KavelHelper::DeleteCharacters", state.characters);
  state.characters = nullptr;
}

int32_t KavelHelper::LinkedListSample(KavelHelperState& state, int32_t* order) {
  state.list = TrackedNew<KavelList>("KavelHelper::LinkedListSample");
  if (!state.list) return 0;
  KavelListItem* items[4] = {};
  for (int32_t i = 0; i < 4; ++i) {
    items[i] = TrackedNew<KavelListItem>("KavelHelper::LinkedListSample");
    if (items[i]) items[i]->value = i + 1;
  }
  KASSERT(items[0] != nullptr);
  KASSERT(items[1] != nullptr);
  KASSERT(items[2] != nullptr);
  KASSERT(items[3] != nullptr);
  int32_t count = 0;
  if (items[0] && items[1] && items[2] && items[3]) {
    AddAtHead(state.list, items[0]);
    AddAtHead(state.list, items[1]);
    AddAtHead(state.list, items[2]);
    AddAtTail(state.list, items[3]);
    int32_t at = 0;
    for (const KavelListItem* item = state.list->head; item && order && at < 4; item = item->next)
      order[at++] = item->value;
    count = CountFrom(state.list->head);
    const int32_t fromSecond = CountFrom(state.list->head->next);
    KASSERT(fromSecond + 1 == count);
    Remove(state.list, items[2]);
    Remove(state.list, items[1]);
    Remove(state.list, items[3]);
    Remove(state.list, items[0]);
    KASSERT(CountFrom(state.list->head) == 0);
  }
  for (KavelListItem* item : items)
    if (item) TrackedDelete("KavelHelper::LinkedListSample", item);
  const bool empty = !state.list->head && !state.list->tail;
  TrackedDelete("KavelHelper::LinkedListSample", state.list);
  state.list = nullptr;
  return empty ? count : -1;
}

void KavelHelper::DebugLineSample(RenderWindow* window) {
  const Vector4 from(0.0f, 0.0f, -100.0f, 1.0f);
  const Vector4 to(200.0f, 200.0f, 100.0f, 1.0f);
  window->GetDebugLines()->AddLine(&from, &to, kWhite);
}

void KavelHelper::LightShaftSample(RenderWindow* window, KavelHelperState& state) {
  const PolyVertex vertices[4] = {{0.0f, 0.0f, -100.0f, kWhite, 0.0f, 0.0f},
                                  {0.0f, 200.0f, -100.0f, kWhite, 0.0f, 1.0f},
                                  {200.0f, 0.0f, 60.0f, kWhite, 1.0f, 0.0f},
                                  {200.0f, 200.0f, 60.0f, kWhite, 1.0f, 1.0f}};
  window->AddPolyStrip(state.shaftTexture, 4, vertices, kFactors, 5);
}

void KavelHelper::ScreenQuadSample(RenderWindow* window, KavelHelperState& state) {
  const Mouse* mouse = GetApp().GetMouse();
  state.quadX += mouse->m_xMotion;
  state.quadY += mouse->m_yMotion;
  const float x = static_cast<float>(state.quadX);
  const float y = static_cast<float>(state.quadY);
  // The screen stage doubles the texture by the vertex colour: white would burn every noise
  // value from 128 up to white, and the frame-rate line printed over the quad with it. Half
  // white shows the texture as it is.
  const PolyVertex2D vertices[4] = {{x, y, 0.0f, 1.0f, kNeutral, 0.0f, 0.0f},
                                    {x + 128.0f, y, 0.0f, 1.0f, kNeutral, 1.0f, 0.0f},
                                    {x, y + 128.0f, 0.0f, 1.0f, kNeutral, 0.0f, 1.0f},
                                    {x + 128.0f, y + 128.0f, 0.0f, 1.0f, kNeutral, 1.0f, 1.0f}};
  window->Add2DPolyStrip(state.noiseTexture, 4, vertices, kFactors, 0);
}

void KavelHelper::LightSample(RenderWindow* window, KavelHelperState& state) {
  if (!state.lights) return;
  const float dt = GetApp().GetTimeStep();
  float* moving = state.lightPositions;
  moving[0] += dt;
  if (moving[0] > 1000.0f) moving[0] = -1000.0f;
  moving[1] -= dt;
  if (moving[1] < -1000.0f) moving[1] = 1000.0f;
  const struct {
    float x;
    float colour[4];
    uint32_t marker;
  } lights[KavelHelperState::kLightCount] = {{0.0f, {0.0f, 1.0f, 0.0f, 1.0f}, 0xFF00FF00u},
                                             {moving[0], {1.0f, 0.0f, 0.0f, 1.0f}, 0xFFFF0000u},
                                             {moving[1], {0.0f, 0.0f, 1.0f, 1.0f}, 0xFF0000FFu}};
  for (int32_t i = 0; i < KavelHelperState::kLightCount; ++i) {
    LightInfo& light = state.lights[i];
    light = LightInfo{};
    light.type = 1;
    light.position[0] = lights[i].x;
    light.position[1] = -200.0f;
    light.position[2] = 100.0f;
    // After the position: its w, the direction, then the colour.
    const float rest[9] = {1.0f,
                           0.0f,
                           -1.0f,
                           0.0f,
                           1.0f,
                           lights[i].colour[0],
                           lights[i].colour[1],
                           lights[i].colour[2],
                           lights[i].colour[3]};
    std::memcpy(light.other, rest, sizeof(rest));
    light.range = 250.0f;
    window->GetLightManager()->AddLight(&light);
    const Vector4 at(light.position[0], light.position[1], light.position[2], 1.0f);
    window->GetDebugLines()->AddMarker(&at, 250, lights[i].marker);
  }
}

void KavelHelper::FadingModelSample(RenderWindow* window, KavelHelperState& state) {
  NodeContainer* node =
      state.model != -1 ? GetApp().GetNodeFactory()->GetContainer(state.model) : nullptr;
  KASSERT(node != nullptr);
  if (!node) return;
  state.fadeAlpha += state.fadeStep;
  if (state.fadeAlpha >= 2.0f) state.fadeStep = -0.01f;
  if (state.fadeAlpha <= 0.01f) state.fadeStep = 0.01f;
  RenderNodeRecord record;
  record.container = node;
  record.placement.RotationX(-1.5707964f);
  record.tint = Vector4(1.0f, 1.0f, 1.0f, state.fadeAlpha);
  record.flags = 5;
  window->AddRenderNode(record);
}

Vector4 KavelHelper::ProjectToScreen(const Vector4& point) {
  const Matrix& m = *GetApp().GetDisplay()->GetViewToScreenMatrix();
  float out[4];
  for (int c = 0; c < 4; ++c)
    out[c] = point.x * m.m[c] + point.y * m.m[4 + c] + point.z * m.m[8 + c] + m.m[12 + c];
  if (out[3] == 0.0f) return Vector4(0.0f, 0.0f, 0.0f, 0.0f);
  return Vector4(out[0] / out[3], out[1] / out[3], out[2] / out[3], 1.0f);
}

void KavelHelper::RunSamples(RenderWindow* window, KavelHelperState& state) {
  DrawCharacters(state, window);
  DebugLineSample(window);
  LightShaftSample(window, state);
  ScreenQuadSample(window, state);
  LightSample(window, state);
  FadingModelSample(window, state);
}
