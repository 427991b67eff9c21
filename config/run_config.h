// The per-product run-state file, "QIV_DOWNTASK_" + product id + ".xml" in
// the configuration folder: whether a download was under way, where its
// temporary package lies, and the user's choices, so that a second start
// can continue where an interrupted one stopped.
#pragma once

#include <string>

// Field names are the element names of the file, written in this order.
struct RunConfig {
  std::wstring Status = L"0";  // "1" while the product download is under way
  std::wstring JoinExp;
  std::wstring SelectLang;
  std::wstring InstallPath;
  std::wstring AgreeExtInstall = L"1";  // non-empty means consent
  std::wstring TmpPackagePath;
};

// Reads the file into config; children that are missing, and everything
// when the file is missing, unreadable or malformed, keep their values.
// Nothing at all happens for an empty path.
void ReadRunConfig(const std::wstring& path, RunConfig* config);

// Status, read as a decimal number, is 1.
bool IsResumeStatus(const RunConfig& config);

// The file's text: the XML declaration and LF, then the config element with
// one child per field on lines ended by CR LF.
std::wstring RunConfigText(const RunConfig& config);

// Replaces the file with RunConfigText; a failed save is ignored. Nothing
// happens for an empty path.
void WriteRunConfig(const std::wstring& path, const RunConfig& config);
