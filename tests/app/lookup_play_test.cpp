// Element lookup in a real play: a project of several elements played headless with `vexel play`,
// the answers read back from the state dump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/model.h"
#include "support/run_program.h"
#include "support/work_folder.h"

namespace {

using testing_support::DumpWord;
using testing_support::ReadText;
using testing_support::WorkFolder;
using testing_support::WriteText;

struct Element {
  std::string name;
  std::string x;  // metres
  int identity;
  bool on;
};

// Writes projects/myprj/lookup.prj: the skeleton's camera renamed, placed on the x axis, with its
// identity bits and on flag; element 0 has the brain, the others empty ones.
void WriteProject(const WorkFolder& folder, const std::vector<Element>& elements, const std::string& brain) {
  std::vector<testing_support::TestElement> records;
  for (size_t i = 0; i < elements.size(); ++i) {
    const Element& element = elements[i];
    records.push_back({element.name,
                       {{4, "-"}, {5, element.x}, {31, std::to_string(element.identity)}, {33, element.on ? "1" : "0"}},
                       i == 0 ? brain : ""});
  }
  testing_support::WriteTestProject(folder, records, "projects/myprj/lookup.prj");
}

// Element 0 asks; 1 and 2 tie for the nearest; 3 is nearer but off; 4 has another identity bit;
// 5 has none (never a random candidate); 6, the last, is a candidate of every walk that reaches it.
const std::vector<Element> kElements = {
    {"Seeker", "0", 3, true}, {"Left", "3", 2, true}, {"Right", "-3", 2, true}, {"Sleeper", "1", 2, false},
    {"Other", "2", 4, true},  {"Plain", "0.5", 0, true}, {"End", "5", 2, true},
};

// Word 255 - k holds the brain's variable k (from 0, in declaration order).
const char* const kVariables[] = {"base", "near2", "near4", "near8", "fwd3", "fwd4", "fwdoff1", "fwdon2", "fwdon3",
                                  "back3", "back4", "backoff1", "backon1", "backon2", "backon3", "zero", "byname",
                                  "draws", "r", "c1", "c2", "c4", "c6"};

std::string SeekerBrain() {
  std::string brain;
  for (const char* name : kVariables) brain += std::string("var ") + name + "\r\n";
  brain +=
      "base = element\r\n"
      "near2 = nearest_element(element, 2)\r\n"
      "near4 = nearest_element(element, 4)\r\n"
      "near8 = nearest_element(element, 8)\r\n"
      "fwd3 = element_find(element, 2, 3, 1)\r\n"
      "fwd4 = element_find(element, 2, 4, 1)\r\n"
      "fwdoff1 = element_find(element, 2, 1, 2)\r\n"
      "fwdon2 = element_find(element, 2, 2, 3)\r\n"
      "fwdon3 = element_find(element, 2, 3, 3)\r\n"
      "back3 = element_find(element#6, 2, 3, -1)\r\n"
      "back4 = element_find(element#6, 2, 4, -1)\r\n"
      "backoff1 = element_find(element#6, 2, 1, -2)\r\n"
      "backon1 = element_find(element#6, 2, 1, -3)\r\n"
      "backon2 = element_find(element#6, 2, 2, -3)\r\n"
      "backon3 = element_find(element#6, 2, 3, -3)\r\n"
      "zero = element_find(element#2, 2, 0, 1)\r\n"
      "byname = element(\"End\")\r\n"
      "r = random_element(element)\r\n"
      "draws = draws + 1\r\n"
      "if element#1 = r\r\nc1 = c1 + 1\r\nendif\r\n"
      "if element#2 = r\r\nc2 = c2 + 1\r\nendif\r\n"
      "if element#4 = r\r\nc4 = c4 + 1\r\nendif\r\n"
      "if element#6 = r\r\nc6 = c6 + 1\r\nendif\r\n";
  return brain;
}

// Variable `name` of element 0 in the dump.
int32_t Variable(const std::string& dump, const std::string& name) {
  for (int k = 0; k < static_cast<int>(std::size(kVariables)); ++k) {
    if (name == kVariables[k]) return DumpWord(dump, 255 - k);
  }
  ADD_FAILURE() << "no variable " << name;
  return 0;
}

TEST(LookupPlay, NearestWalksAndRandomDrawsOverAProjectOfSeveralElements) {
  for (const char* backend : {"--brains=interp", "--brains=native"}) {
    SCOPED_TRACE(backend);
    WorkFolder folder(13);
    WriteProject(folder, kElements, SeekerBrain());
    const auto run = testing_support::RunProgram(
        VEXEL_VEXEL_BINARY, {"play", "projects/myprj/lookup.prj", "--ticks", "60", backend, "--dump", "d.json"},
        folder.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "play ended normally\n");
    ASSERT_EQ(run.err.find("brain ERROR"), std::string::npos) << run.err;
    const std::string dump = ReadText(folder / "d.json");
    const int32_t base = Variable(dump, "base");
    // The element index an answer names; -1 for 0.
    auto index = [&](const char* name) {
      const int32_t value = Variable(dump, name);
      return value == 0 ? -1 : (value - base) / 1024;
    };
    EXPECT_EQ(index("near2"), 1);  // Left and Right tie at 3 m: the first wins; Sleeper is off
    EXPECT_EQ(index("near4"), 4);
    EXPECT_EQ(index("near8"), -1);
    // Forward from Seeker over identity bit 2: Left, Right, Sleeper (off); End, the last, is never
    // examined. Backward from End: Sleeper, Right, Left; Seeker, the first, is never examined.
    EXPECT_EQ(index("fwd3"), 3);
    EXPECT_EQ(index("fwd4"), -1);
    EXPECT_EQ(index("fwdoff1"), 3);
    EXPECT_EQ(index("fwdon2"), 2);
    EXPECT_EQ(index("fwdon3"), -1);
    EXPECT_EQ(index("back3"), 1);
    EXPECT_EQ(index("back4"), -1);
    EXPECT_EQ(index("backoff1"), 3);
    EXPECT_EQ(index("backon1"), 2);
    EXPECT_EQ(index("backon2"), 1);
    EXPECT_EQ(index("backon3"), -1);
    EXPECT_EQ(index("zero"), 2);
    EXPECT_EQ(index("byname"), 6);
    // 4 settling steps and 60 ticks, every draw one of the four candidates, each drawn.
    const int32_t draws = Variable(dump, "draws");
    EXPECT_EQ(draws, 64);
    int32_t drawn = 0;
    for (const char* count : {"c1", "c2", "c4", "c6"}) {
      EXPECT_GT(Variable(dump, count), 0) << count;
      drawn += Variable(dump, count);
    }
    EXPECT_EQ(drawn, draws);
  }
}

TEST(LookupPlay, AnUnknownElementNameEndsThePlayWithItsMessage) {
  WorkFolder folder(13);
  WriteProject(folder, kElements, "var e\r\ne = element(\"End\")\r\ne = element(\"Nobody\")\r\n");
  const auto run = testing_support::RunProgram(VEXEL_VEXEL_BINARY, {"play", "projects/myprj/lookup.prj"}, folder.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "play ended by a run-time error\n");
  EXPECT_NE(run.err.find("Runtime Error: ELEMENT() instruction error! Could not find 'Nobody' element\n"
                         "Element 'Seeker', brain line 3"),
            std::string::npos)
      << run.err;
}

}  // namespace
