// The maker's records in the registry: the client signature, channel
// registration, installed products, the companion application Lormex and
// compatibility layers. A value longer than its read buffer counts as missing.
#pragma once

#include <windows.h>

#include <string>

// The client signature of the brand; created ("{" + uuid + "G}") and stored
// in both local-machine keys when no key holds one yet.
std::wstring GetClientSign(const std::wstring& brand);

// Software\MuxCX\: the default value is set to channel when it has none; the
// value named after id is always set to channel.
bool RegisterChannel(const std::wstring& id, const std::wstring& channel);

// The default value of Software\MuxCX\, empty when missing.
std::wstring DefaultChannel();

// The named text value (InstallPath, Version, InstallName) of the last
// subkey of Software\<brand>\ whose PID is productId and which holds a
// non-empty InstallInfo or InstallDate. Empty when none matches.
std::wstring InstalledProductValue(const std::wstring& brand, const std::wstring& productId,
                                   const std::wstring& valueName);

// InstallName of Pellavorine Lormex (64-bit view, then 32-bit view): the
// first one naming an existing path; empty when none does.
std::wstring LormexInstallPath();
bool IsLormexInstalled();

// Writes the layer text (at most 49 characters) for the program under the
// compatibility Layers key, in the 64-bit and in the 32-bit view.
bool SetCompatibilityLayer(const std::wstring& layer, const std::wstring& programPath);

// A 32-bit value under the current user.
bool ReadUserDword(const std::wstring& key, const std::wstring& name, DWORD* value);
bool WriteUserDword(const std::wstring& key, const std::wstring& name, DWORD value);
