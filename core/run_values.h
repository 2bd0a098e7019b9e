// Process-wide values of the run: the Windows class, set by CheckOsVersion
// when the install list is built, and the upgrade choice, set at start-up
// before the wizard exists. Read everywhere afterwards.
#pragma once

// Operating system flags, set to 1 by CheckOsVersion and never cleared.
extern int g_isServer2008;
extern int g_isWin7;
extern int g_isServer2008R2;
extern int g_isServer2012Plus;
extern int g_isClient8Plus;

// 1 when the user agreed to upgrade an installed copy.
extern int g_upgradeMode;
