// Process-wide values set once at start-up (before any other thread runs)
// and read everywhere afterwards.
#pragma once

#include <optional>
#include <string>

#include "app/os_classify.h"

// Operating system flags, set to 1 by CheckOsVersion and never cleared.
extern int g_isServer2008;
extern int g_isWin7;
extern int g_isServer2008R2;
extern int g_isServer2012Plus;
extern int g_isClient8Plus;

// 1 when the user agreed to upgrade an installed copy.
extern int g_upgradeMode;

// The partner identifier (UTF-8) from the executable's file name; unset
// until start-up reads one, and then the audit trace installs its default.
extern std::optional<std::string> g_partnerId;
