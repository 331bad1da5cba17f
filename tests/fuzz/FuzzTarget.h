#pragma once
// What one reader's fuzz target (a *Fuzz.cpp file in this folder) gives the common libFuzzer
// driver in FuzzMain.cpp. A target runs in the working folder it is started in: it writes its
// input file, "Debug.log" and "memory.log" there.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FuzzSeed {
  std::string name;
  std::vector<uint8_t> bytes;
};

// Well-formed files of the format, made with the test writers. They are written into the corpus
// folder named on the command line when that folder is empty, so no binary seed is kept in the
// source tree.
std::vector<FuzzSeed> FuzzSeeds();
// Once, before the first input; false stops the run.
bool FuzzSetUp();
// Feeds one input through the reader, and through what a caller does next with what it accepts.
void FuzzOne(const uint8_t* data, size_t size);

// For FuzzSetUp of readers that need the device: the App started headless, as the tests do.
bool StartHeadlessApp();
// The input as a file in the working folder, for readers that load by name.
void WriteInputFile(const char* path, const uint8_t* data, size_t size);
