// Project files as text, for the tests of the project model and of the programs that load them.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// An element record with 40 fields: paths as the file stores them, no brain parameters.
inline std::string Record(const std::string& name, int type, const std::string& brain,
                          const std::string& aspect = "./cameras/default_.03d") {
  std::string record = name + "|" + aspect + "|./sounds/null_.wav|" + brain;
  for (int field = 5; field <= 35; ++field) record += field == 33 ? "|1" : "|0";
  return record + "|" + std::to_string(type) + "|160/120/479/359/0/20&40/7|0/1|4096/2/50/0|14815378";
}

inline std::string ProjectText(const std::string& header, const std::vector<std::string>& records,
                               const std::string& settings, const std::vector<std::string>& brains) {
  std::string text = ";" + header + "\r\n" + std::to_string(records.size()) + "\r\n";
  for (const std::string& record : records) text += record + "\r\n";
  text += settings + "\r\n";
  for (size_t i = 0; i < brains.size(); ++i) text += "@" + std::to_string(i) + "\r\n" + brains[i];
  return text;
}

}  // namespace testing_support
