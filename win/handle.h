// RAII owners for every Win32 handle kind the program uses. One template,
// one traits struct per kind: nothing in the program closes a handle by hand.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <ole2.h>

#include <utility>

namespace win {

template <typename Traits>
class Unique {
 public:
  using pointer = typename Traits::type;

  Unique() noexcept = default;
  explicit Unique(pointer value) noexcept : value_(value) {}
  ~Unique() { reset(); }

  Unique(Unique&& other) noexcept : value_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  pointer get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return Traits::valid(value_); }

  pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

  void reset(pointer value = Traits::invalid()) noexcept {
    pointer old = std::exchange(value_, value);
    if (Traits::valid(old)) Traits::close(old);
  }

  // For out-parameters of API calls: closes what is held, then hands out
  // the slot.
  pointer* put() noexcept {
    reset();
    return &value_;
  }

 private:
  pointer value_ = Traits::invalid();
};

// Kernel objects: processes, threads, files, events. Both null and
// INVALID_HANDLE_VALUE mean "nothing held".
struct KernelHandleTraits {
  using type = HANDLE;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(type h) noexcept { ::CloseHandle(h); }
};
using UniqueHandle = Unique<KernelHandleTraits>;

struct FindHandleTraits {
  using type = HANDLE;
  static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(type h) noexcept { ::FindClose(h); }
};
using UniqueFind = Unique<FindHandleTraits>;

struct RegKeyTraits {
  using type = HKEY;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::RegCloseKey(h); }
};
using UniqueHkey = Unique<RegKeyTraits>;

struct ServiceHandleTraits {
  using type = SC_HANDLE;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::CloseServiceHandle(h); }
};
using UniqueService = Unique<ServiceHandleTraits>;

struct ModuleTraits {
  using type = HMODULE;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::FreeLibrary(h); }
};
using UniqueModule = Unique<ModuleTraits>;

struct IconTraits {
  using type = HICON;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::DestroyIcon(h); }
};
using UniqueIcon = Unique<IconTraits>;

template <typename T>
struct GdiObjectTraits {
  using type = T;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::DeleteObject(h); }
};
using UniqueFont = Unique<GdiObjectTraits<HFONT>>;
using UniqueBrush = Unique<GdiObjectTraits<HBRUSH>>;
using UniqueBitmap = Unique<GdiObjectTraits<HBITMAP>>;
using UniquePen = Unique<GdiObjectTraits<HPEN>>;

struct MemoryDcTraits {
  using type = HDC;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::DeleteDC(h); }
};
using UniqueMemoryDc = Unique<MemoryDcTraits>;

// CNG: an algorithm provider and a hash object made from it.
struct CngAlgorithmTraits {
  using type = BCRYPT_ALG_HANDLE;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};
using UniqueCngAlgorithm = Unique<CngAlgorithmTraits>;

struct CngHashTraits {
  using type = BCRYPT_HASH_HANDLE;
  static type invalid() noexcept { return nullptr; }
  static bool valid(type h) noexcept { return h != nullptr; }
  static void close(type h) noexcept { ::BCryptDestroyHash(h); }
};
using UniqueCngHash = Unique<CngHashTraits>;

// A window's device context (or the screen's, for a null window), released
// at the end of the scope.
class WindowDcScope {
 public:
  explicit WindowDcScope(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  ~WindowDcScope() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDcScope(const WindowDcScope&) = delete;
  WindowDcScope& operator=(const WindowDcScope&) = delete;

  HDC get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects a GDI object into a device context for a scope.
class SelectObjectScope {
 public:
  SelectObjectScope(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~SelectObjectScope() {
    if (old_ != nullptr && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }
  SelectObjectScope(const SelectObjectScope&) = delete;
  SelectObjectScope& operator=(const SelectObjectScope&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// COM for the calling thread, apartment-threaded (the shell's folder picker
// with the new dialog style needs OLE).
class ComInit {
 public:
  ComInit() noexcept : ok_(SUCCEEDED(::OleInitialize(nullptr))) {}
  ~ComInit() {
    if (ok_) ::OleUninitialize();
  }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;

 private:
  bool ok_;
};

}  // namespace win
