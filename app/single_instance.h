// One instance per product, and one forked instance per product.
#pragma once

#include <string>

#include "foundation/win_handles.h"

class SingleInstance {
 public:
  // Creates the named semaphore (count 1 of 1). alreadyExisted() tells
  // whether another process holds the name.
  explicit SingleInstance(const std::wstring& name);

  bool alreadyExisted() const { return alreadyExisted_; }
  void Close() { semaphore_.reset(); }

  // product name + "_qiv", with "_fork" appended in fork mode, so that a
  // parent and its forked child never block each other.
  static std::wstring NameFor(const std::wstring& productName, bool fork);

 private:
  UniqueHandle semaphore_;
  bool alreadyExisted_ = false;
};
