#pragma once
// Facts fixed when the program is built.

// The day the program was built, "YYYY-MM-DD".
const char *BuildDate();
