// Runs tasks in a stamped copy of task_host.exe (tests/wine/task_host.cpp),
// which carries the installer's resources: the tasks then read the links
// and names stamped into it, as in a partner build.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace kt {

struct TaskHostRun {
  struct Question {
    UINT type;
    std::wstring text;
    std::wstring caption;  // "Reboot" for the restart question, else empty
  };
  int exitCode = -1;
  std::string output;  // what the host printed
  std::vector<std::wstring> statuses;
  // Every question the tasks asked through their context, in order.
  std::vector<Question> questions;
  int restarts = 0;
  std::wstring installDir;
  std::vector<std::string> traces;
  // Task key and result, in the order the tasks ran.
  std::vector<std::pair<std::wstring, int>> results;

  // The last task's result (-1 when none ran).
  int result() const { return results.empty() ? -1 : results.back().second; }
  std::vector<std::wstring> questionTexts() const;
};

// Copies task_host.exe into folder and stamps BRANDING entries into the
// copy (number -> text); returns the copy's path, empty on failure.
std::wstring StampedTaskHost(const std::wstring& folder, const std::map<unsigned, std::wstring>& strings);

// Runs the copy with these arguments (options and task keys, see
// task_host.cpp) and reads its report.
TaskHostRun RunTaskHost(const std::wstring& host, const std::wstring& arguments);

}  // namespace kt
