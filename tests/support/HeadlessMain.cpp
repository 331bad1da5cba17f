// The main of every test executable: tests run headless, on SDL's offscreen video driver (an
// OpenGL context on Mesa's software renderer, no X server) and its dummy audio driver. These are
// SDL's own variables; a developer who wants to watch can override them.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
