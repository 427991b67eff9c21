#pragma once

// Whether the calling thread's token (its impersonation token when it has
// one, otherwise the process token) is a member of the built-in
// Administrators group. Any failure counts as "not administrator".
bool IsAdministrator();
