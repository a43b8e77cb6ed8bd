#include "commands.h"

char g_szChannel[9] = "00000000";
