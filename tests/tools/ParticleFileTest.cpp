// The editor's ".ps2" and ".psf" readers against damaged files: each is refused with a log line
// and leaves the template as it was.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Game/EditorParticleSystem.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Ps2Writer.h"

namespace {

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

class ParticleFileTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    ASSERT_TRUE(m_harness.Start());
    GetEditorParticleSystem().Reset();
    GetApp().SetDataDir("data\\ParticleEditor\\");
    ASSERT_TRUE(GetEditorParticleSystem().CreateTestSystem());
    m_template.maxParticles = 64;
    m_template.texture = "flare01.dds";
  }
  void TearDown() override {
    GetEditorParticleSystem().CleanUp();
    m_harness.Stop();
  }
  std::string Path(const char* name) { return (std::filesystem::current_path() / name).string(); }

  ps2writer::Template m_template;
};

struct BadFile {
  const char* what;
  bool psf;
  size_t keep;         // bytes kept of the good image (0: all)
  bool cutTerminator;  // the name runs to the end of the file
};

TEST_F(ParticleFileTest, DamagedFilesAreRefusedAndChangeNothing) {
  const std::vector<uint8_t> good = ps2writer::WritePs2(m_template);
  std::vector<uint8_t> goodPsf(good.begin(), good.begin() + 248);
  goodPsf.insert(goodPsf.end(), good.begin() + 280, good.end());
  const BadFile cases[] = {
      {"empty", false, 1, false},
      {"a few words", false, 16, false},
      {"block without a name", false, 280, false},
      {"one byte short of the block", false, 279, false},
      {"name not terminated", false, 0, true},
      {"psf: a few words", true, 16, false},
      {"psf: block without a name", true, 248, false},
      {"psf: name not terminated", true, 0, true},
  };
  EditorParticleSystem& system = GetEditorParticleSystem();
  for (const BadFile& c : cases) {
    std::vector<uint8_t> image = c.psf ? goodPsf : good;
    if (c.keep) image.resize(c.keep == 1 ? 0 : c.keep);
    if (c.cutTerminator) image.pop_back();
    WriteBytes("bad", image);
    const ParticleTemplateWords before = system.Words();
    const std::string name = system.GetTextureName();
    const int32_t texture = system.GetTexture();
    const bool loaded =
        c.psf ? system.LoadOldStyle(Path("bad").c_str()) : system.Load(Path("bad").c_str());
    EXPECT_FALSE(loaded) << c.what;
    EXPECT_EQ(std::memcmp(&before, &system.Words(), sizeof(before)), 0) << c.what;
    EXPECT_EQ(name, system.GetTextureName()) << c.what;
    EXPECT_EQ(texture, system.GetTexture()) << c.what;
  }
  EXPECT_TRUE(DebugLogContains("is not a particle template"));
  EXPECT_FALSE(system.Load(Path("missing.ps2").c_str()));
  EXPECT_TRUE(DebugLogContains("Particle editor: cannot read"));
}

TEST_F(ParticleFileTest, MaxParticlesBeyondThePoolIsHeldToIt) {
  struct Case {
    uint32_t inFile;
    uint32_t loaded;
  } cases[] = {{0, 0}, {1024, 1024}, {1025, 1024}, {0xFFFFFFFFu, 1024}};
  EditorParticleSystem& system = GetEditorParticleSystem();
  for (const Case& c : cases) {
    m_template.maxParticles = c.inFile;
    ASSERT_TRUE(ps2writer::SavePs2("many.ps2", m_template));
    std::vector<uint8_t> psf = ps2writer::WritePs2(m_template);
    psf.erase(psf.begin() + 248, psf.begin() + 280);
    WriteBytes("many.psf", psf);
    ASSERT_TRUE(system.Load(Path("many.ps2").c_str()));
    EXPECT_EQ(system.GetMaxParticles(), c.loaded);
    ASSERT_TRUE(system.LoadOldStyle(Path("many.psf").c_str()));
    EXPECT_EQ(system.GetMaxParticles(), c.loaded);
    // A full pool is stepped and drawn within its bounds.
    system.Update(nullptr);
    EXPECT_LE(system.GetLiveCount(), EditorParticleSystem::kPoolSize);
  }
}

TEST_F(ParticleFileTest, AReadKeepsOneTextureReferenceWhateverItReads) {
  EditorParticleSystem& system = GetEditorParticleSystem();
  ASSERT_TRUE(ps2writer::SavePs2("good.ps2", m_template));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(system.Load(Path("good.ps2").c_str()));
    EXPECT_FALSE(system.Load(Path("missing.ps2").c_str()));
  }
  const int32_t texture = system.GetTexture();
  ASSERT_NE(texture, -1);
  system.CleanUp();
  // The editor held one reference and gave it back: the texture is gone.
  EXPECT_EQ(GetApp().GetTexture()->GetWidth(texture), 0);
}

}  // namespace
