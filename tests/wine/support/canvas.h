// A 32-bit top-down DIB section with its own memory device context, for
// drawing tests that read the pixels back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "win/handle.h"

namespace kt {

class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), dc_(::CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row 0 first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<uint32_t*>(bits);
    selected_.emplace(dc_.get(), bitmap_.get());
    Clear(RGB(255, 255, 255));
  }

  bool ok() const { return dc_ && bitmap_ && bits_ != nullptr; }
  HDC dc() const { return dc_.get(); }
  int width() const { return width_; }
  int height() const { return height_; }

  void Clear(COLORREF colour) {
    ::GdiFlush();
    const uint32_t pixel = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    for (int i = 0; i < width_ * height_; ++i) bits_[i] = pixel;
  }

  COLORREF At(int x, int y) const {
    ::GdiFlush();
    const uint32_t p = bits_[y * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }

  // The first pixel that differs from other, as "x,y: mine vs other"; empty
  // when both pictures are the same.
  std::string FirstDifference(const Canvas& other) const {
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        if (At(x, y) != other.At(x, y)) {
          return std::to_string(x) + "," + std::to_string(y) + ": " + Hex(At(x, y)) + " vs " + Hex(other.At(x, y));
        }
      }
    }
    return {};
  }

  // The first pixel outside the rectangle [left, right) x [top, bottom)
  // that is not colour; empty when there is none.
  std::string FirstOutside(const RECT& r, COLORREF colour) const {
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
        if (!inside && At(x, y) != colour) return std::to_string(x) + "," + std::to_string(y) + ": " + Hex(At(x, y));
      }
    }
    return {};
  }

  // The picture as a 24-bit BMP file, for a person to look at.
  bool SaveBmp(const std::wstring& path) const {
    ::GdiFlush();
    const size_t stride = (static_cast<size_t>(width_) * 3 + 3) & ~size_t{3};
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width_;
    info.biHeight = height_;  // bottom-up, as every viewer reads it
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + stride * static_cast<size_t>(height_));
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    for (int y = height_ - 1; y >= 0; --y) {
      std::string line(stride, '\0');
      for (int x = 0; x < width_; ++x) {
        const uint32_t p = bits_[y * width_ + x];
        line[static_cast<size_t>(x) * 3] = static_cast<char>(p & 0xFF);
        line[static_cast<size_t>(x) * 3 + 1] = static_cast<char>((p >> 8) & 0xFF);
        line[static_cast<size_t>(x) * 3 + 2] = static_cast<char>((p >> 16) & 0xFF);
      }
      bytes += line;
    }
    win::UniqueHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return out && ::WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }

  static std::string Hex(COLORREF c) {
    char text[32];
    std::snprintf(text, sizeof text, "RGB(%u,%u,%u)", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
  }

 private:
  int width_;
  int height_;
  win::UniqueMemoryDc dc_;
  win::UniqueBitmap bitmap_;
  uint32_t* bits_ = nullptr;
  std::optional<win::SelectObjectScope> selected_;
};

}  // namespace kt
