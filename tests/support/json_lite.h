#pragma once
// A small JSON reader for test-vector files (Wycheproof, Noise vectors): the whole document
// becomes a tree of JsonValue. Lookups of missing keys or indexes give a shared null value,
// so chains like doc["testGroups"][0]["tests"] never crash; check type() where it matters.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class JsonValue {
public:
  enum Type { kNull, kBool, kNumber, kString, kArray, kObject };

  Type type() const { return type_; }
  bool is_null() const { return type_ == kNull; }
  bool is_string() const { return type_ == kString; }
  bool is_number() const { return type_ == kNumber; }
  bool is_array() const { return type_ == kArray; }
  bool is_object() const { return type_ == kObject; }

  bool as_bool() const { return type_ == kBool && bool_; }
  // Numbers: the value; anything else gives 0.
  double as_double() const { return type_ == kNumber ? number_ : 0.0; }
  int64_t as_int() const { return type_ == kNumber ? int64_t(number_) : 0; }
  // Strings: the decoded text (escapes resolved, \uXXXX as UTF-8); anything else gives "".
  const std::string& as_string() const;

  // Arrays: element count; objects: member count; else 0.
  size_t size() const;
  const JsonValue& operator[](size_t index) const;    // array element or null
  const JsonValue& operator[](const char* key) const;  // object member or null
  bool has(const char* key) const;
  const std::vector<JsonValue>& items() const { return items_; }
  const std::vector<std::pair<std::string, JsonValue>>& members() const { return members_; }

private:
  friend class JsonParser;
  Type type_ = kNull;
  bool bool_ = false;
  double number_ = 0;
  std::string string_;
  std::vector<JsonValue> items_;
  std::vector<std::pair<std::string, JsonValue>> members_;
};

// Parses a complete document. On failure returns false and puts "offset N: what" in *error
// (error may be null).
bool json_parse(const std::string& text, JsonValue* out, std::string* error);
// Reads and parses a file; a file that cannot be read is an error too.
bool json_load_file(const std::string& path, JsonValue* out, std::string* error);

// Hex text (upper or lower case, even length) to bytes; false on any other character or an
// odd length.
bool hex_decode(const std::string& hex, std::vector<uint8_t>* out);
// Bytes as lower-case hex.
std::string hex_encode(const uint8_t* data, size_t len);
