#pragma once
// One move-only owner for every kind of Win32 handle: the traits say what "none" is and how
// the handle is released. Copying is deleted so a handle has exactly one owner.
#include <windows.h>
#include <wininet.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : handle_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::None(); }
  Handle release() { return std::exchange(handle_, Traits::None()); }
  void reset(Handle h = Traits::None()) {
    Handle old = std::exchange(handle_, h);
    if (old != Traits::None()) Traits::Close(old);
  }

 private:
  Handle handle_ = Traits::None();
};

struct KernelHandleTraits {  // threads, events, processes, files opened with CreateFile
  using Handle = HANDLE;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h); }
};
struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::InternetCloseHandle(h); }
};
struct GdiObjectTraits {  // fonts, brushes, bitmaps, pens
  using Handle = HGDIOBJ;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};
struct MemoryDcTraits {  // DCs from CreateCompatibleDC
  using Handle = HDC;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};
struct MenuHandleTraits {
  using Handle = HMENU;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::DestroyMenu(h); }
};
struct IconHandleTraits {  // icons from LoadImage without LR_SHARED
  using Handle = HICON;
  static Handle None() { return nullptr; }
  static void Close(Handle h) { ::DestroyIcon(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueInternetHandle = UniqueHandle<InternetHandleTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;
using UniqueMenu = UniqueHandle<MenuHandleTraits>;
using UniqueIcon = UniqueHandle<IconHandleTraits>;
