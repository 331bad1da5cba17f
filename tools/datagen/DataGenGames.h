#pragma once
// Each mini-game's demo data folder, written by a file of its own (tools/datagen/DataGen<Game>).

#include <string>

bool WriteDivingData(const std::string& root);
bool WriteFootballData(const std::string& root);
bool WritePirateData(const std::string& root);
bool WriteTesselData(const std::string& root);

// The development tools' folders ("data\ParticleEditor\", "data\PCCharacterViewer\",
// "data\KavelHelper\").
bool WriteToolsData(const std::string& root);
