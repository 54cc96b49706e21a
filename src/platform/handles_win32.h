// Owning wrappers for the Windows handles and COM pointers the platform sides use, so every
// handle is closed once, on every path.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace fernlite {

// Traits: Handle (the handle type), Invalid() and Close(handle).
template <class Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  explicit operator bool() const { return handle_ != Traits::Invalid(); }
  Handle get() const { return handle_; }
  // For out-parameters: the old handle is closed first.
  Handle* put() {
    reset();
    return &handle_;
  }
  Handle release() { return std::exchange(handle_, Traits::Invalid()); }
  // Closes now; false when closing failed (a buffered file write may fail only here).
  bool reset(Handle handle = Traits::Invalid()) {
    const Handle old = std::exchange(handle_, handle);
    return old == Traits::Invalid() || Traits::Close(old);
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};
// CreateFileW's handles (INVALID_HANDLE_VALUE when there is none).
using UniqueFile = UniqueHandle<FileHandleTraits>;

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};
// Events, threads, processes, mutexes (null when there is none).
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static bool Close(Handle handle) { return RegCloseKey(handle) == ERROR_SUCCESS; }
};
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static bool Close(Handle handle) { return FreeLibrary(handle) != FALSE; }
};
using UniqueLibrary = UniqueHandle<LibraryTraits>;

// One reference to a COM interface, released at scope end.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* adopted) : ptr_(adopted) {}
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* operator->() const { return ptr_; }
  T* get() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  T** put() {
    reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  T* detach() { return std::exchange(ptr_, nullptr); }
  void reset() {
    if (T* old = std::exchange(ptr_, nullptr)) old->Release();
  }

 private:
  T* ptr_ = nullptr;
};

}  // namespace fernlite
