#pragma once

// The program's version text, shown in the About box and written to the settings dump.
extern const char* const kProgramVersion;
