#include "net/audit_trace.h"

#include <mutex>

#include "app/globals.h"

namespace kestrel {
namespace {

std::mutex g_mutex;
std::vector<std::string> g_sent;

}  // namespace

void SendAuditTrace(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_partnerId) g_partnerId = kDefaultPartnerId;
  g_sent.push_back(text);
}

std::vector<std::string> SentAuditTraces() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_sent;
}

}  // namespace kestrel
