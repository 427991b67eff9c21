// A thin owner of one cJSON tree: every JSON reader and writer of the
// installer goes through it. Texts are passed through byte for byte (UTF-8 in
// API bodies, the ANSI code page in the track record); printing is compact,
// members keep their insertion order, and 64-bit integers print exactly.
#pragma once

#include <cstdint>
#include <string>

struct cJSON;

class CJsonObject {
 public:
  // An empty object, ready for members.
  CJsonObject();
  // Parses the text; an unparsable text leaves an invalid, empty value.
  explicit CJsonObject(const std::string& json);
  ~CJsonObject();
  CJsonObject(const CJsonObject& other);
  CJsonObject& operator=(const CJsonObject& other);

  // Replaces the value by the parsed text; false (and an invalid value) when
  // it is not one complete JSON value.
  bool Parse(const std::string& json);
  bool IsValid() const { return root_ != nullptr; }
  bool IsObject() const;
  bool IsArray() const;

  // Member lookups: on a duplicate name the first member counts. A member of
  // another type than asked for leaves *value as the caller set it.
  bool Get(const std::string& key, int32_t* value) const;
  bool Get(const std::string& key, int64_t* value) const;
  bool Get(const std::string& key, std::string* value) const;
  // Objects and arrays; the result is a copy.
  bool Get(const std::string& key, CJsonObject* value) const;

  // Adding a member whose name is already there is refused: the first value
  // stays and the result is false.
  bool Add(const std::string& key, const std::string& value);
  bool Add(const std::string& key, const char* value) { return Add(key, std::string(value)); }
  bool Add(const std::string& key, int32_t value);
  bool Add(const std::string& key, int64_t value);
  bool Add(const std::string& key, const CJsonObject& value);
  bool AddEmptyArray(const std::string& key);

  // Appends to the array member key (or to this value when it is an array
  // and key is empty).
  bool AddToArray(const std::string& key, const std::string& value);
  bool AddToArray(const std::string& key, const CJsonObject& value);

  int ArraySize() const;
  // The element at index of this array, as a copy; an invalid value when
  // there is none.
  CJsonObject ArrayItem(int index) const;
  // The element at index as a string; false when it is none.
  bool ArrayString(int index, std::string* value) const;

  // Compact text: no white space; "" for an invalid value.
  std::string ToString() const;

 private:
  explicit CJsonObject(cJSON* adopted) : root_(adopted) {}
  cJSON* Member(const std::string& key) const;
  bool AddItem(const std::string& key, cJSON* item);
  cJSON* ArrayFor(const std::string& key) const;

  cJSON* root_;
};
