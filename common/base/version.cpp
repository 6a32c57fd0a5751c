#include "common/base/version.h"

const char* const kProgramVersion = "1.0.0";
