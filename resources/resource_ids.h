// Resource ids shared by the .rc file and the code that loads them.
#pragma once

#define IDI_QIV 101
// The skin package ("ZIPRES", language 1033) and the main window's
// background picture ("PNG"), which its layout names as res='136'.
#define IDR_SKIN_PACKAGE 133
#define IDR_BACKGROUND_PICTURE 136
