#pragma once
// The demo data for the tests that run the game side: written once per test process by the
// generator and linked into each test's working folder as "data".

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
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

// The demo data with the folder `game` linked file by file, leaving out those named, so a test can
// take some away or write its own in their place.
inline void LinkDemoDataFileByFile(const std::string& game,
                                   const std::set<std::string>& leftOut = {}) {
  namespace fs = std::filesystem;
  const fs::path demo = DemoDataFolder();
  const fs::path folder = fs::path("data") / game;
  fs::create_directory("data");
  for (const fs::directory_entry& entry : fs::directory_iterator(demo))
    if (entry.path().filename() != game)
      fs::create_directory_symlink(entry.path(), fs::path("data") / entry.path().filename());
  fs::create_directory(folder);
  for (const fs::directory_entry& entry : fs::directory_iterator(demo / game))
    if (!leftOut.count(entry.path().filename().string()))
      fs::create_symlink(entry.path(), folder / entry.path().filename());
}
