// Where a brand's packages are saved and which folder is proposed as the
// install root. Folder texts end in "\\"; a drive root is "C:\\".
#pragma once

#include <string>

// The brand's download folder on the fixed drive with the most free space;
// below the public documents folder when that drive holds Windows.
std::wstring LargestDiskFolder(const std::wstring& brand);

// The save folder of a brand: an existing download folder of the brand on
// any fixed drive (the last one listed wins) unless skipExisting, else the
// largest-disk folder; then the first writable of that, the program's own
// folder and the temporary folder.
std::wstring BrandFolder(const std::wstring& brand, bool skipExisting);

// The install root a product proposes: the server's custom path, else the
// product file's ("%localappdata%" in any case is the desktop user's local
// application data), kept only on an existing drive; else the folder that
// holds the brand folder of an installed copy; else empty.
std::wstring DefaultInstallRoot(const std::wstring& serverCustomPath, const std::wstring& productCustomPath,
                                const std::wstring& brand, const std::wstring& productId);
