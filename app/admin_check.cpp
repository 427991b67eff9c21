#include "app/admin_check.h"

#include <windows.h>

#include "foundation/win_handles.h"

bool IsAdministrator() {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  UniqueSid administrators;
  if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, administrators.put()))
    return false;
  BOOL member = FALSE;
  if (!::CheckTokenMembership(nullptr, administrators.get(), &member)) return false;
  return member != FALSE;
}
