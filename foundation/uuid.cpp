#include "foundation/uuid.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <cstring>

#include "foundation/win_handles.h"

namespace {

constexpr wchar_t kTemplate[] = L"xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx";

// xorshift128+ state shared by the whole process. Seeding and the two draws
// of one identifier happen under GeneratorLock(), so that concurrent callers
// neither tear the two words nor hand out the same draws twice.
struct Generator {
  uint64_t words[2] = {0, 0};
};

Generator g_generator;  // guarded by GeneratorLock()

CriticalSection& GeneratorLock() {
  static CriticalSection lock;
  return lock;
}

struct CryptContext {
  CryptContext() {
    if (!::CryptAcquireContextW(&handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) handle = 0;
  }
  ~CryptContext() {
    if (handle) ::CryptReleaseContext(handle, 0);
  }
  CryptContext(const CryptContext&) = delete;
  CryptContext& operator=(const CryptContext&) = delete;
  HCRYPTPROV handle = 0;
};

// Fills the state with fresh random bytes; without a provider it keeps what
// it had. An all-zero state would make every identifier the same on every
// machine, so that case is stirred from clocks and ids instead: weak, but
// unique enough for a client signature.
void Seed(Generator& generator) {
  {
    CryptContext context;
    BYTE random[sizeof(generator.words)];
    if (context.handle && ::CryptGenRandom(context.handle, sizeof(random), random)) {
      std::memcpy(generator.words, random, sizeof(random));
    }
  }
  if (generator.words[0] != 0 || generator.words[1] != 0) return;
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  generator.words[0] = static_cast<uint64_t>(counter.QuadPart) ^
                       (static_cast<uint64_t>(::GetCurrentProcessId()) << 32) ^ ::GetCurrentThreadId();
  generator.words[1] = ((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) ^
                       reinterpret_cast<uintptr_t>(&counter) ^ 0x9E3779B97F4A7C15ull;
}

uint64_t Next(Generator& generator) {
  uint64_t x = generator.words[0];
  uint64_t y = generator.words[1];
  generator.words[0] = y;
  x ^= x << 23;
  generator.words[1] = x ^ y ^ (x >> 18) ^ (y >> 5);
  return generator.words[1] + y;
}

}  // namespace

std::wstring NewUuid() {
  uint8_t random[16];
  {
    CriticalSectionLock lock(GeneratorLock());
    Seed(g_generator);
    uint64_t draws[2];
    draws[0] = Next(g_generator);
    draws[1] = Next(g_generator);
    std::memcpy(random, draws, sizeof(random));
  }

  static const wchar_t kDigits[] = L"0123456789abcdef";
  static const wchar_t kVariant[] = L"89ab";
  std::wstring id;
  id.reserve(sizeof(kTemplate) / sizeof(kTemplate[0]) - 1);
  size_t nibble = 0;  // of byte nibble / 2, low half first
  for (const wchar_t* c = kTemplate; *c; ++c) {
    if (*c != L'x' && *c != L'y') {
      id += *c;
      continue;
    }
    uint8_t byte = random[nibble / 2];
    uint8_t value = (nibble % 2 == 0) ? (byte & 0x0F) : (byte >> 4);
    ++nibble;
    id += *c == L'x' ? kDigits[value] : kVariant[value & 3];
  }
  return id;
}
