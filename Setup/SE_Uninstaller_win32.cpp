#include "Setup/SE_Uninstaller.h"
#include "installer-library/iconchanger.h"

TIconWriter UninstallerIconWriter = ChangeExeIconFromData;
