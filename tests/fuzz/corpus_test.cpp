// Replays every input kept in fuzz/corpus/<target>/ (seeds and the crash inputs of fixed faults)
// through its fuzz target, so that the ordinary sanitizer build runs the fuzzers' checks too.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "core/core.h"
#include "targets.h"

namespace fuzzing {
// Names the target in a failure message instead of dumping its bytes.
void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }
}  // namespace fuzzing

namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = VEXEL_FUZZ_CORPUS;

std::vector<fs::path> Inputs(const std::string& target) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(kCorpus / target, error)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class Corpus : public testing::TestWithParam<fuzzing::Target> {};

TEST_P(Corpus, EveryInputPassesTheTargetsChecks) {
  const fuzzing::Target& target = GetParam();
  const std::vector<fs::path> files = Inputs(target.name);
  ASSERT_FALSE(files.empty()) << "no inputs in " << (kCorpus / target.name);
  for (const fs::path& file : files) {
    std::string bytes;
    ASSERT_TRUE(core::ReadFile(file, &bytes)) << file;
    EXPECT_EQ(target.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "") << file;
  }
}

std::string TargetName(const testing::TestParamInfo<fuzzing::Target>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Targets, Corpus, testing::ValuesIn(fuzzing::kTargets), TargetName);

// A corpus folder whose name matches no target would never be replayed.
TEST(CorpusFolders, EachBelongsToATarget) {
  for (const fs::directory_entry& entry : fs::directory_iterator(kCorpus)) {
    const std::string name = entry.path().filename();
    const bool known = std::any_of(std::begin(fuzzing::kTargets), std::end(fuzzing::kTargets),
                                   [&](const fuzzing::Target& target) { return name == target.name; });
    EXPECT_TRUE(known) << entry.path();
  }
}

}  // namespace
