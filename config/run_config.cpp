#include "config/run_config.h"

#include <cwchar>

#include "foundation/logger.h"
#include "foundation/xml_document.h"

namespace {

const wchar_t kDeclaration[] = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

struct RunConfigField {
  const wchar_t* name;
  std::wstring RunConfig::*field;
};

constexpr RunConfigField kFields[] = {
    {L"Status", &RunConfig::Status},
    {L"JoinExp", &RunConfig::JoinExp},
    {L"SelectLang", &RunConfig::SelectLang},
    {L"InstallPath", &RunConfig::InstallPath},
    {L"AgreeExtInstall", &RunConfig::AgreeExtInstall},
    {L"TmpPackagePath", &RunConfig::TmpPackagePath},
};

}  // namespace

void ReadRunConfig(const std::wstring& path, RunConfig* config) {
  if (path.empty()) return;
  LOG_INFO("ReadRunConfig");
  CXmlDocument doc;
  if (!doc.Load(path) || !doc.FindElement(L"config")) return;
  for (const RunConfigField& field : kFields) {
    doc.ResetChildPosition();
    if (!doc.FindChildElement(field.name)) continue;
    doc.EnterElement();
    config->*field.field = doc.GetElementData();
    doc.LeaveElement();
  }
}

bool IsResumeStatus(const RunConfig& config) { return std::wcstol(config.Status.c_str(), nullptr, 10) == 1; }

std::wstring RunConfigText(const RunConfig& config) {
  CXmlDocument doc(kDeclaration);
  doc.AddElement(L"config", std::wstring());
  doc.EnterElement();
  for (const RunConfigField& field : kFields) doc.AddElement(field.name, config.*field.field);
  return doc.GetText();
}

void WriteRunConfig(const std::wstring& path, const RunConfig& config) {
  if (path.empty()) return;
  LOG_INFO("WriteRunConfig");
  CXmlDocument::SaveUtf8File(path, RunConfigText(config), nullptr);
}
