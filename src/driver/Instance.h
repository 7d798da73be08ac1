// Name table between the file's variable numbers and dense internal
// indices 1..n in order of first appearance (index 0 is reserved).
#pragma once

#include <unordered_map>
#include <vector>

namespace vorn {

template <class T>
class Instance {
 public:
  Instance() : extToInt(100), intToExt(1, T(0)) {}

  T getIndex(T external) {
    auto it = extToInt.find(external);
    if (it != extToInt.end()) return it->second;
    const T index = appendIndex(external);
    extToInt.emplace(external, index);
    return index;
  }
  // The next index for a number the caller remembers itself, kept out of
  // the map: getIndex does not find it.
  T appendIndex(T external) {
    const T index = static_cast<T>(intToExt.size());
    intToExt.push_back(external);
    if (index > nVars) nVars = index;
    return index;
  }

  std::unordered_map<T, T> extToInt;
  std::vector<T> intToExt;
  T nVars = 0;
  T nClauses = 0;
};

// The table the preprocessor-road reader fills.
extern Instance<long> instance;

}  // namespace vorn
