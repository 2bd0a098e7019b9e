#include "app/command_line.h"

namespace kestrel {

bool HasSwitch(std::wstring_view arguments, std::wstring_view name) {
  return arguments.find(name) != std::wstring_view::npos;
}

std::wstring RelaunchParameters(std::wstring_view arguments) {
  std::wstring text(arguments);
  text.append(L" ").append(kSwitchRunas);
  return text;
}

}  // namespace kestrel
