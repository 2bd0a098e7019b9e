// The installer's two switches, found by plain case-sensitive substring
// search anywhere in the argument text (so "/x-u" also means "-u").
#pragma once

#include <string>
#include <string_view>

namespace kestrel {

inline constexpr std::wstring_view kSwitchRunas = L"/runas";
inline constexpr std::wstring_view kSwitchUninstall = L"-u";

bool HasSwitch(std::wstring_view arguments, std::wstring_view name);

// Parameters of the elevated relaunch: the arguments followed by " /runas".
std::wstring RelaunchParameters(std::wstring_view arguments);

}  // namespace kestrel
