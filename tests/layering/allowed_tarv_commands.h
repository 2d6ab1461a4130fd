#include "commands/settings_codec.h"
#include "link/Procedure_Tarv_Config.h"
