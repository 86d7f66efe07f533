// The music tests' file writers: the project's music file writer
// (tools/melowriter), whose names the tests use as their own.
#pragma once

#include "MeloWriter.h"

namespace melos_fixtures {
using namespace melowriter;
}  // namespace melos_fixtures
