// Window and shell operations.
#pragma once

#include <windows.h>

#include <string>

// Finds the top-level window of the class with the title, restores it when
// minimised (shows it otherwise) and brings its last active pop-up to the
// foreground. False when there is no such window.
bool BringOtherInstanceForward(const std::wstring& className, const std::wstring& title);

// Centres the window on the screen.
void CenterWindowOnScreen(HWND window);

// Lets the user pick a folder, starting at the computer root; empty when cancelled.
std::wstring BrowseForFolder(HWND owner, const std::wstring& title);

// Desktop + "\\" + fileName + ".lnk", pointing at folder + "\\" + fileName,
// working in folder.
bool CreateDesktopShortcut(const std::wstring& fileName, const std::wstring& folder);

// Deletes the desktop shortcut named after the running executable, through
// the shell (silently) and directly when that fails.
bool DeleteDesktopShortcut();
