#pragma once
// Debugger output: on this platform the text goes to stderr, as it arrives (no line break added).
void PlatformDebugOutput(const char* text);
