// Small move-only owners for the Win32 handles the program holds, so that a
// function can return early without a clean-up ladder.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

// Owner of a handle value; Traits says what "empty" is and how to close it.
template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() = default;
  explicit UniqueResource(Type value) : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  // Closes the owned value, if any, and takes ownership of the new one.
  void reset(Type value = Traits::Invalid()) {
    if (valid()) Traits::Close(value_);
    value_ = value;
  }
  Type release() { return std::exchange(value_, Traits::Invalid()); }

  // For out-parameters: closes what is owned and hands out the slot.
  Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

struct HandleTraits {  // threads, processes, events, mutexes, semaphores
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile, CreateToolhelp32Snapshot
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::FindClose(h); }
};
struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::RegCloseKey(h); }
};
struct ModuleTraits {  // LoadLibrary
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::FreeLibrary(h); }
};
struct LocalMemTraits {  // LocalAlloc, FormatMessage, CommandLineToArgvW
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::LocalFree(h); }
};
struct SidTraits {  // AllocateAndInitializeSid
  using Type = PSID;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::FreeSid(h); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueFind = UniqueResource<FindHandleTraits>;
using UniqueKey = UniqueResource<RegKeyTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueLocal = UniqueResource<LocalMemTraits>;
using UniqueSid = UniqueResource<SidTraits>;

// Holds a kernel mutex for the lifetime of the object (infinite wait).
class MutexLock {
 public:
  explicit MutexLock(HANDLE mutex) : mutex_(mutex) {
    if (mutex_) ::WaitForSingleObject(mutex_, INFINITE);
  }
  ~MutexLock() {
    if (mutex_) ::ReleaseMutex(mutex_);
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  HANDLE mutex_;
};

// A critical section with its own lifetime; lock it with CriticalSectionLock.
class CriticalSection {
 public:
  CriticalSection() { ::InitializeCriticalSection(&section_); }
  ~CriticalSection() { ::DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter() { ::EnterCriticalSection(&section_); }
  void Leave() { ::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  ~CriticalSectionLock() { section_.Leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& section_;
};

// Owner of a COM interface pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  void reset() {
    if (ptr_) ptr_->Release();
    ptr_ = nullptr;
  }
  T** put() {
    reset();
    return &ptr_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  T* ptr_ = nullptr;
};

// Balances CoInitialize on the calling thread.
class ComApartment {
 public:
  ComApartment() : result_(::CoInitialize(nullptr)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool ok() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};
