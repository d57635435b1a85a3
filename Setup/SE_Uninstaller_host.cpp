#include "Setup/SE_Uninstaller.h"

TIconWriter UninstallerIconWriter;
