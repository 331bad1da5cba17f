#pragma once
// Debugger output: on this platform the text goes to stderr.

// The text as it arrives, with no line break added, so that a caller can build one line from
// pieces (a Direct3D error report is its heading, then the code's text).
void PlatformDebugOutput(const char* text);

// One message as a debugger shows it, an entry of its own: on stderr it ends its line (a line
// break is added unless the text ends with one already).
void PlatformDebugOutputLine(const char* text);
