#include "foundation/json_object.h"

#include <cjson/cJSON.h>

CJsonObject::CJsonObject() : root_(cJSON_CreateObject()) {}

CJsonObject::CJsonObject(const std::string& json) : root_(nullptr) { Parse(json); }

CJsonObject::~CJsonObject() { cJSON_Delete(root_); }

CJsonObject::CJsonObject(const CJsonObject& other)
    : root_(other.root_ ? cJSON_Duplicate(other.root_, 1) : nullptr) {}

CJsonObject& CJsonObject::operator=(const CJsonObject& other) {
  if (this != &other) {
    cJSON* copy = other.root_ ? cJSON_Duplicate(other.root_, 1) : nullptr;
    cJSON_Delete(root_);
    root_ = copy;
  }
  return *this;
}

bool CJsonObject::Parse(const std::string& json) {
  cJSON_Delete(root_);
  // The length bound matters: the text need not end at a zero byte.
  const char* end = nullptr;
  root_ = cJSON_ParseWithLengthOpts(json.data(), json.size(), &end, 0);
  if (!root_) return false;
  // Only white space may follow the value: "{...}<html>" is not a reply.
  for (const char* rest = end; rest && rest < json.data() + json.size(); ++rest) {
    if (*rest != ' ' && *rest != '\t' && *rest != '\r' && *rest != '\n') {
      cJSON_Delete(root_);
      root_ = nullptr;
      return false;
    }
  }
  return true;
}

bool CJsonObject::IsObject() const { return root_ && cJSON_IsObject(root_); }
bool CJsonObject::IsArray() const { return root_ && cJSON_IsArray(root_); }

cJSON* CJsonObject::Member(const std::string& key) const {
  if (!IsObject()) return nullptr;
  // Names are compared exactly, and the walk stops at the first match, so
  // that a repeated name never hides the value that came first.
  for (cJSON* item = root_->child; item; item = item->next) {
    if (item->string && key == item->string) return item;
  }
  return nullptr;
}

bool CJsonObject::Get(const std::string& key, int32_t* value) const {
  cJSON* item = Member(key);
  if (!value || !item || !cJSON_IsNumber(item)) return false;
  *value = item->valueint;
  return true;
}

bool CJsonObject::Get(const std::string& key, int64_t* value) const {
  cJSON* item = Member(key);
  if (!value || !item) return false;
  if (cJSON_IsNumber(item)) {
    *value = static_cast<int64_t>(item->valuedouble);
    return true;
  }
  return false;
}

bool CJsonObject::Get(const std::string& key, std::string* value) const {
  cJSON* item = Member(key);
  if (!value || !item || !cJSON_IsString(item) || !item->valuestring) return false;
  *value = item->valuestring;
  return true;
}

bool CJsonObject::Get(const std::string& key, CJsonObject* value) const {
  cJSON* item = Member(key);
  if (!value || !item || !(cJSON_IsObject(item) || cJSON_IsArray(item))) return false;
  *value = CJsonObject(cJSON_Duplicate(item, 1));
  return true;
}

bool CJsonObject::AddItem(const std::string& key, cJSON* item) {
  if (!item) return false;
  if (!IsObject() || Member(key)) {
    cJSON_Delete(item);
    return false;
  }
  if (!cJSON_AddItemToObject(root_, key.c_str(), item)) {
    cJSON_Delete(item);
    return false;
  }
  return true;
}

bool CJsonObject::Add(const std::string& key, const std::string& value) {
  return AddItem(key, cJSON_CreateString(value.c_str()));
}

bool CJsonObject::Add(const std::string& key, int32_t value) {
  return AddItem(key, cJSON_CreateNumber(static_cast<double>(value)));
}

bool CJsonObject::Add(const std::string& key, int64_t value) {
  // A double holds only 53 bits; the decimal text keeps every digit.
  return AddItem(key, cJSON_CreateRaw(std::to_string(value).c_str()));
}

bool CJsonObject::Add(const std::string& key, const CJsonObject& value) {
  if (!value.root_) return false;
  return AddItem(key, cJSON_Duplicate(value.root_, 1));
}

bool CJsonObject::AddEmptyArray(const std::string& key) { return AddItem(key, cJSON_CreateArray()); }

cJSON* CJsonObject::ArrayFor(const std::string& key) const {
  if (key.empty()) return IsArray() ? root_ : nullptr;
  cJSON* item = Member(key);
  return item && cJSON_IsArray(item) ? item : nullptr;
}

bool CJsonObject::AddToArray(const std::string& key, const std::string& value) {
  cJSON* array = ArrayFor(key);
  cJSON* item = array ? cJSON_CreateString(value.c_str()) : nullptr;
  if (!item) return false;
  if (!cJSON_AddItemToArray(array, item)) {
    cJSON_Delete(item);
    return false;
  }
  return true;
}

bool CJsonObject::AddToArray(const std::string& key, const CJsonObject& value) {
  cJSON* array = ArrayFor(key);
  cJSON* item = array && value.root_ ? cJSON_Duplicate(value.root_, 1) : nullptr;
  if (!item) return false;
  if (!cJSON_AddItemToArray(array, item)) {
    cJSON_Delete(item);
    return false;
  }
  return true;
}

int CJsonObject::ArraySize() const { return IsArray() ? cJSON_GetArraySize(root_) : 0; }

CJsonObject CJsonObject::ArrayItem(int index) const {
  cJSON* item = IsArray() ? cJSON_GetArrayItem(root_, index) : nullptr;
  return CJsonObject(item ? cJSON_Duplicate(item, 1) : nullptr);
}

bool CJsonObject::ArrayString(int index, std::string* value) const {
  cJSON* item = IsArray() ? cJSON_GetArrayItem(root_, index) : nullptr;
  if (!value || !item || !cJSON_IsString(item) || !item->valuestring) return false;
  *value = item->valuestring;
  return true;
}

std::string CJsonObject::ToString() const {
  if (!root_) return std::string();
  char* printed = cJSON_PrintUnformatted(root_);
  if (!printed) return std::string();
  std::string text(printed);
  cJSON_free(printed);
  return text;
}
