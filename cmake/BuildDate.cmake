# Run at every build: writes the day of the build into OUTPUT, and touches the file only
# when that day changed, so a rebuild on the same day compiles and links nothing.
# SOURCE_DATE_EPOCH, when set, gives the day instead (reproducible package builds).
string(TIMESTAMP date "%Y-%m-%d" UTC)
set(text "// Written at build time by cmake/BuildDate.cmake.\n#include \"app/BuildInfo.h\"\n\nconst char *BuildDate()\n{\n    return \"${date}\";\n}\n")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
