#include "app/Main_Tarv_Config.h"
#include "commands/device_watch.h"
#include "dialogs/COM_List.h"
