// The bytes of a custom resource (a PNG or JPG image), as the module holds them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

namespace fernlite {

// Valid while the module stays loaded; empty when the resource is missing or has no bytes.
// A null module is the program itself.
inline std::span<const uint8_t> ResourceBytes(HMODULE module, uint16_t id, const wchar_t* type) {
  if (!module) module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!info) return {};
  const DWORD size = SizeofResource(module, info);
  HGLOBAL loaded = size ? LoadResource(module, info) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const uint8_t*>(bytes), size};
}

}  // namespace fernlite
