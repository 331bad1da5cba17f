#pragma once
// The demo data for the tests that run the game side: written once per test process by the
// generator and linked into each test's working folder as "data".

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string DemoDataFolder() {
  static const std::string folder = [] {
    const std::string root = std::filesystem::temp_directory_path() /
                             ("pendrake-demo-" + std::to_string(getpid()));
    const std::string command = std::string(PENDRAKE_DATAGEN) + " " + root + " > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    // Removed when the test process ends.
    static struct Remover {
      std::string path;
      ~Remover() {
        std::error_code error;
        std::filesystem::remove_all(path, error);
      }
    } remover{root};
    return root + "/data";
  }();
  return folder;
}

// Links the demo data into the working folder (a test's fresh temporary folder).
inline void LinkDemoData() { std::filesystem::create_directory_symlink(DemoDataFolder(), "data"); }
