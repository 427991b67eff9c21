#include "app/single_instance.h"

#include <windows.h>

SingleInstance::SingleInstance(const std::wstring& name)
    : semaphore_(::CreateSemaphoreW(nullptr, 1, 1, name.c_str())),
      alreadyExisted_(::GetLastError() == ERROR_ALREADY_EXISTS) {}

std::wstring SingleInstance::NameFor(const std::wstring& productName, bool fork) {
  return productName + L"_qiv" + (fork ? L"_fork" : L"");
}
