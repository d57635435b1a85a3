#include "compiler/QXI_SetupBuilder.h"

#include "installer-library/iconchanger.h"

TCompiler::TIconWriter DefaultIconWriter() { return ChangeExeIcon; }
