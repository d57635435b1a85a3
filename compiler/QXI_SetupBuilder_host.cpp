// Native builds have no resource update: tests that build installers here
// give the compiler an icon writer of their own.
#include "compiler/QXI_SetupBuilder.h"

TCompiler::TIconWriter DefaultIconWriter() { return {}; }
