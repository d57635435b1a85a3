// Pieces of the setup builder that differ between builds.
#pragma once

#include "compiler/TCompiler.h"

// The icon replacement of this build: ChangeExeIcon where Windows updates
// resources, unset elsewhere (a build that needs it then fails with an error).
TCompiler::TIconWriter DefaultIconWriter();
