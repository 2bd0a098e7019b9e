// The strip across the top of the wizard: the current page's icon and
// title, drawn entirely by us. The window text always holds the current
// step's title, so tools and tests can read which step is shown.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "win/handle.h"

namespace kestrel {

struct ImageListTraits {
  using type = HIMAGELIST;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::ImageList_Destroy(h); }
};
using UniqueImageList = win::Unique<ImageListTraits>;

class CVantStageCtrl {
 public:
  static constexpr int kControlId = 100;
  static constexpr int iconSize = 32;
  static constexpr int bottomLineInset = 4;

  CVantStageCtrl();
  virtual ~CVantStageCtrl();
  CVantStageCtrl(const CVantStageCtrl&) = delete;
  CVantStageCtrl& operator=(const CVantStageCtrl&) = delete;

  // Creates the visible child window over rect of parent.
  bool Create(HWND parent, const RECT& rect);
  HWND hwnd() const { return hwnd_; }

  // Takes ownership of the normal image list.
  void SetImageList(UniqueImageList images) { imageList_ = std::move(images); }
  HIMAGELIST imageList() const { return imageList_.get(); }
  // Appends a step: its title and the index of its image; returns its index.
  int AppendStep(const std::wstring& title, int image);
  int StepCount() const { return static_cast<int>(steps_.size()); }

  int currentStep() const { return currentStep_; }
  // Sets the current step and repaints at once.
  void SetCurrentStep(int step);
  // The current step's title; empty when the step has no item.
  std::wstring CurrentTitle() const;

  // Drawing, also usable on any device context of the given client size.
  virtual void DrawBackground(HDC dc, const RECT& client);
  void DrawContent(HDC dc, const RECT& client);

 private:
  struct Step {
    std::wstring title;
    int image;
  };
  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  std::vector<Step> steps_;
  int currentStep_ = 0;
  win::UniqueFont titleFont_;
  UniqueImageList imageList_;
  HWND hwnd_ = nullptr;
};

}  // namespace kestrel
