#include "core/run_values.h"

int g_isServer2008 = 0;
int g_isWin7 = 0;
int g_isServer2008R2 = 0;
int g_isServer2012Plus = 0;
int g_isClient8Plus = 0;
int g_upgradeMode = 0;
