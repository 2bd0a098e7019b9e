// The task list as the builders, the runner and the tasks see it: rows of
// four text columns (key, label, status, argument). The commit page's list
// control is the real store; tests use a plain table.
#pragma once

#include <string>

namespace kestrel {

enum TaskColumn : int { kColumnKey = 0, kColumnLabel = 1, kColumnStatus = 2, kColumnArgument = 3 };

class TaskRows {
 public:
  virtual ~TaskRows() = default;
  virtual int RowCount() const = 0;
  // Appends a row whose key column holds key; returns its index (or -1).
  virtual int AppendRow(const std::wstring& key) = 0;
  virtual void DeleteAllRows() = 0;
  virtual std::wstring GetCellText(int row, int column) const = 0;
  // Changes a cell only when the text differs.
  virtual bool SetItemTextIfChanged(int row, int column, const std::wstring& text) = 0;
};

}  // namespace kestrel
