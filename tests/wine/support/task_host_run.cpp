#include "support/task_host_run.h"

#include "core/text_convert.h"
#include "support/test_support.h"

namespace kt {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
    parts.push_back(text.substr(start, end - start));
  parts.push_back(text.substr(start));
  return parts;
}

std::wstring W(const std::string& text) { return kestrel::Utf8ToWide(text).value_or(L"<not UTF-8>"); }

}  // namespace

std::vector<std::wstring> TaskHostRun::questionTexts() const {
  std::vector<std::wstring> texts;
  for (const auto& q : questions) texts.push_back(q.text);
  return texts;
}

std::wstring StampedTaskHost(const std::wstring& folder, const std::map<unsigned, std::wstring>& strings) {
  const std::wstring copy = folder + L"\\task_host.exe";
  if (!::CopyFileW((kBinDir + L"\\task_host.exe").c_str(), copy.c_str(), FALSE)) return {};
  std::wstring options;
  for (const auto& [number, text] : strings) options += L" --string \"" + std::to_wstring(number) + L"=" + text + L"\"";
  if (!options.empty() && !Stamp(copy, options)) return {};
  return copy;
}

TaskHostRun RunTaskHost(const std::wstring& host, const std::wstring& arguments) {
  TaskHostRun run;
  const std::wstring report = host + L".report";
  ::DeleteFileW(report.c_str());
  run.exitCode = RunProgram(host, L"--report \"" + report + L"\" " + arguments, &run.output);
  for (const auto& record : Split(ReadFileBytes(report), '\x1e')) {
    auto fields = Split(record, '\x1f');
    if (fields.empty()) continue;
    const std::string& kind = fields[0];
    if (kind == "status" && fields.size() == 2) {
      run.statuses.push_back(W(fields[1]));
    } else if (kind == "ask" && fields.size() == 4) {
      run.questions.push_back({static_cast<UINT>(std::stoul(fields[1])), W(fields[3]), W(fields[2])});
    } else if (kind == "restart") {
      ++run.restarts;
    } else if (kind == "installdir") {
      run.installDir = fields.size() > 1 ? W(fields[1]) : L"";
    } else if (kind == "trace") {
      run.traces.push_back(fields.size() > 1 ? fields[1] : "");
    } else if (kind == "result" && fields.size() == 3) {
      run.results.emplace_back(W(fields[1]), std::stoi(fields[2]));
    }
  }
  return run;
}

}  // namespace kt
