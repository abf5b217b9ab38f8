#pragma once
// Facts fixed when the program is built.

// The program's version, "major.minor", from the project version in CMakeLists.txt.
inline constexpr const char *kQuilldownVersion = QUILLDOWN_VERSION;

// The day the program was built, "YYYY-MM-DD".
const char *BuildDate();
