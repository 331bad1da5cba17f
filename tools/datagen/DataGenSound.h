#pragma once
// The demo data's sounds, HUD icons and texts (tools/datagen/DataGenSound.cpp).

#include <string>

// Each game's effects and speech banks and the music tracks.
bool WriteDemoSounds(const std::string& root);
// The HUD icons every game shares: score, clock, lives and the 13 counter kinds.
bool WriteDemoHud(const std::string& root);
// "PendrakeText.els".
bool WriteDemoTexts(const std::string& root);
