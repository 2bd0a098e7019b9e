// The product package: fresh installation (INSTALLQRE) and the two halves
// of an upgrade (DOWNLOADPACKAGE, UPGRADEPACKAGE).
#pragma once

#include <string>

#include "engine/task_context.h"

namespace kestrel {

int InstallProductPackage(TaskContext& ctx);
int UpgradePackage(TaskContext& ctx, bool download);

// The folder a package is extracted into before its "build" folder goes
// into place: made by the run inside the chosen folder (the installation's
// base for an upgrade) and removed again. Its name is one no person would
// choose, so a later run knows one left by a Cancel or a killed process as
// the installer's own and removes it; nothing else there is touched.
inline constexpr wchar_t kStagingFolderName[] = L"~KestrelSetup-staging";
std::wstring StagingFolder(const std::wstring& parent);

// The download folder: local application data + "\installtemp" (created).
// The prerequisites' installers are downloaded there too.
std::wstring DownloadFolder();

// Shows a message (OK box) and then sends the same text, which is plain
// ASCII, as a trace.
void ReportAndTrace(TaskContext& ctx, const wchar_t* text);

// The installed product directory: the folder holding "vantdepot" below
// LastInstallPath (or Program Files), else that base + the product folder.
std::wstring FindInstallDir();

// True when name can be a folder inside another: not empty, no separators,
// no drive, not "." or "..".
bool IsPlainFolderName(const std::wstring& name);

// Moves every file of source over target, folder by folder; locked targets
// are renamed aside. Reports a failed file through ctx.Ask.
bool PatchTree(TaskContext& ctx, const std::wstring& source, const std::wstring& target);
bool MoveReplacing(const std::wstring& source, const std::wstring& target);
// Deletes a folder tree; links (junctions) inside are removed as links,
// never followed. Errors are ignored.
void DeleteTree(const std::wstring& folder);
// Ends the first running VantorisCloudMonitor.exe.
void KillMonitorProcess();

}  // namespace kestrel
