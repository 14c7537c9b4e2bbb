#pragma once
// One JSON object on one line, the driver's answer format. Text is written as ASCII with
// \uXXXX escapes for everything else, so the reader never depends on a console code page.
#include <initializer_list>
#include <string>
#include <vector>

class JsonLine {
 public:
  JsonLine& Bool(const char* key, bool value);
  JsonLine& Int(const char* key, long long value);
  JsonLine& Text(const char* key, const std::wstring& value);
  JsonLine& TextList(const char* key, const std::vector<std::wstring>& values);
  JsonLine& IntList(const char* key, std::initializer_list<long long> values);
  JsonLine& Raw(const char* key, const std::string& json);  // an already encoded value
  std::string Finish() const { return "{" + body_ + "}"; }

  static std::string Quote(const std::wstring& text);

 private:
  void Key(const char* key);
  std::string body_;
};

// Parses one line holding a JSON array of strings (what the orchestrator sends in session mode).
// Returns false on anything else.
bool ParseStringArray(const std::wstring& line, std::vector<std::wstring>& out);
