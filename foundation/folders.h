// Folders and disks. Paths are UTF-16; folder results end in "\\" where
// noted. Failures are results: empty text, false or 0.
#pragma once

#include <string>
#include <vector>

// The user's temporary folder, ending in "\\".
std::wstring TempFolder();

// Roots ("C:\\") of all drives of fixed type, in system order.
std::vector<std::wstring> FixedDrives();

// Bytes available to the caller on the volume of path; 0 on failure.
unsigned long long FreeBytes(const std::wstring& path);

bool FolderExists(const std::wstring& folder);

// Creates the folder with all missing parents; whether it exists afterwards.
bool CreateFolderTree(const std::wstring& folder);

// Creates "qiv.tmp" in the folder for writing, closes and deletes it.
bool FolderWritable(const std::wstring& folder);

std::wstring PublicDocumentsFolder();

// The local application-data folder of the user who owns the desktop (the
// shell's process), also when this process runs elevated as someone else.
std::wstring DesktopUserLocalAppData();

// True when the folder lies in the Windows folder or in the Windows drive's
// "Program Files" or "Program Files (x86)".
bool IsProtectedFolder(const std::wstring& folder);

// The text before the last "\\"; the whole text when there is none.
std::wstring FolderOfPath(const std::wstring& path);

// Full path of the running executable.
std::wstring OwnExePath();
