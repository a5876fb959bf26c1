#pragma once

#include <map>
#include <string>

namespace host {

// Script variables; binary-safe values. The library's variable callbacks see
// the same store.
class VariableStore {
 public:
  const std::string* Find(const std::string& name) const {
    auto it = mValues.find(name);
    return it == mValues.end() ? nullptr : &it->second;
  }
  void Set(const std::string& name, std::string value) { mValues[name] = std::move(value); }

 private:
  std::map<std::string, std::string> mValues;
};

VariableStore& Variables();

}  // namespace host
