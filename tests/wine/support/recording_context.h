// A TaskContext without windows: records what a task shows and answers its
// questions from a script; a restart is counted, never carried out.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/task_context.h"

namespace kt {

class RecordingContext : public kestrel::TaskContext {
 public:
  struct Question {
    std::wstring text;
    UINT type;
    std::wstring caption;  // empty: the executable's name, as message boxes show it
  };

  // Answers given in turn to Ask; when they run out, IDOK / IDCANCEL / IDNO
  // (whichever the box offers first of these).
  void QueueAnswers(std::initializer_list<int> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.insert(answers_.end(), answers);
  }

  void SetStatus(const std::wstring& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!statuses_.empty() && statuses_.back() == text) return;
    if (statuses_.empty() && text.empty()) return;
    statuses_.push_back(text);
  }
  std::wstring Argument() override { return argument; }
  kestrel::DatabaseChoice Database() override { return database; }
  int EnterpriseEdition() override { return 0; }
  std::wstring InstallFolder() override { return installFolder; }
  std::wstring InstallDir() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return installDir_;
  }
  void SetInstallDir(const std::wstring& dir) override {
    std::lock_guard<std::mutex> lock(mutex_);
    installDir_ = dir;
  }
  std::wstring StagingDir() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return stagingDir_;
  }
  void SetStagingDir(const std::wstring& dir) override {
    std::lock_guard<std::mutex> lock(mutex_);
    stagingDir_ = dir;
  }
  int Ask(const std::wstring& text, UINT type) override { return Answer({text, type, L""}); }
  int AskRestart(const std::wstring& question) override { return Answer({question, MB_YESNO, L"Reboot"}); }
  void RestartMachine() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++restarts_;
  }
  const kestrel::RunSettings& Settings() override { return settings; }

  void SetButtonCaption(int id, const std::wstring& caption) override {
    std::lock_guard<std::mutex> lock(mutex_);
    captions_[id] = caption;
  }

  // What was recorded (copies, safe while a task still runs).
  std::vector<std::wstring> statuses() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return statuses_;
  }
  std::wstring lastStatus() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return statuses_.empty() ? std::wstring() : statuses_.back();
  }
  std::vector<Question> questions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return questions_;
  }
  std::map<int, std::wstring> captions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return captions_;
  }
  int restarts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return restarts_;
  }

  // Set by the test before running a task. The settings' restart is never
  // called: RestartMachine above only counts.
  std::wstring argument;
  kestrel::DatabaseChoice database;
  std::wstring installFolder = L"C:\\Program Files";
  kestrel::RunSettings settings;

 private:
  int Answer(const Question& question) {
    std::lock_guard<std::mutex> lock(mutex_);
    questions_.push_back(question);
    const UINT type = question.type;
    if (!answers_.empty()) {
      int a = answers_.front();
      answers_.pop_front();
      return a;
    }
    switch (type & MB_TYPEMASK) {
      case MB_OK:
        return IDOK;
      case MB_YESNO:
      case MB_YESNOCANCEL:
        return IDNO;
      default:
        return IDCANCEL;
    }
  }

  mutable std::mutex mutex_;
  std::vector<std::wstring> statuses_;
  std::deque<int> answers_;
  std::vector<Question> questions_;
  std::map<int, std::wstring> captions_;
  std::wstring installDir_;
  std::wstring stagingDir_;
  int restarts_ = 0;
};

}  // namespace kt
