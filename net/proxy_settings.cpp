#include "net/proxy_settings.h"

#include <mutex>

namespace kestrel {
namespace {

std::mutex& Mutex() {
  static std::mutex m;
  return m;
}
ProxySettings& Record() {
  static ProxySettings settings;
  return settings;
}

}  // namespace

ProxySettings ProxySnapshot() {
  std::lock_guard<std::mutex> lock(Mutex());
  return Record();
}

void StoreProxySettings(const ProxySettings& settings) {
  std::lock_guard<std::mutex> lock(Mutex());
  Record() = settings;
}

}  // namespace kestrel
