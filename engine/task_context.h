// What a task operation may touch while it runs on the worker thread. The
// commit page implements it over its task list and the wizard; tests run
// the tasks against a recording implementation without any window.
#pragma once

#include <windows.h>

#include <string>

#include "engine/engine_context.h"

namespace kestrel {

// The database page's choice, as the tasks read it.
struct DatabaseChoice {
  int allInOne = 1;
  std::wstring server;
  std::wstring user;
  std::wstring password;
  std::wstring name = L"user";
};

// SetStatus writes the status text (progress markup) of the row being run.
class TaskContext : public EngineContext {
 public:
  // The argument column of the row being run ("VEVer", "NETFx4", ...).
  virtual std::wstring Argument() = 0;

  // The wizard's choices.
  virtual DatabaseChoice Database() = 0;
  // The edition page's flag: that page is never shown, so it stays 0.
  virtual int EnterpriseEdition() = 0;

  // The folder chosen on the commit page and the product's directory that
  // the package task sets for the tasks after it.
  virtual std::wstring InstallFolder() = 0;
  virtual std::wstring InstallDir() = 0;
  virtual void SetInstallDir(const std::wstring& dir) = 0;
  // The staging folder the upgrade's download half extracted into, for the
  // patching half; empty until then.
  virtual std::wstring StagingDir() = 0;
  virtual void SetStagingDir(const std::wstring& dir) = 0;

  // Sets the caption of a wizard button (IDCANCEL, ID_WIZFINISH); a host
  // without buttons ignores it.
  virtual void SetButtonCaption(int id, const std::wstring& caption) = 0;
};

}  // namespace kestrel
