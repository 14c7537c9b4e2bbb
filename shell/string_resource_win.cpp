#include "shell/string_resource_win.h"

#include "framework/window_win.h"

std::wstring StringResource(UINT id) {
  // With a zero buffer size LoadStringW hands out a read-only pointer into the resource itself,
  // so no entry is ever cut.
  const wchar_t* text = nullptr;
  const int length = ::LoadStringW(ModuleInstance(), id, reinterpret_cast<wchar_t*>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return std::wstring(text, static_cast<size_t>(length));
}
