#include "Engine/Random.h"

// Constant-initialised, so draws made by other globals' constructors already find the start seed.
constinit RandomGenerator g_globalRandom;
