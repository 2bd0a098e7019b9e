// An offline layout: every payload this build can use, for every Windows
// class and bitness, downloaded into one folder under its own file name,
// beside a copy of the installer. Run as a task list (one row a payload)
// by the windowless host, shown or not.
#pragma once

#include <string>
#include <vector>

#include "engine/task_rows.h"
#include "engine/task_runner.h"

namespace kestrel {

inline constexpr wchar_t kTaskLayout[] = L"LAYOUT";

struct LayoutPayload {
  unsigned link = 0;  // the built-in string of its link
  std::string url;
  std::wstring name;  // its file name in the folder
};

// The payloads of this build's links (links left empty are skipped).
// Returns the refusal when two of them have the same file name, or one
// names no file; empty otherwise.
std::wstring ListLayoutPayloads(std::vector<LayoutPayload>& payloads);

// One row a payload: key LAYOUT, label "Download " + its file name,
// argument its link's number.
void BuildLayoutTaskList(TaskRows& rows, const std::vector<LayoutPayload>& payloads);

// The tasks of a layout run: LAYOUT fetches the row's payload into folder.
std::vector<TaskEntry> LayoutTaskTable(const std::wstring& folder);

}  // namespace kestrel
