// Cutting a MOF text must keep each statement whole and each line where it was, or the
// compiler stores half an object or reports the wrong line.
#include "host/commands/mof_chunks.h"

#include <gtest/gtest.h>

namespace quillmere::host {
namespace {

struct Expected {
  std::string text;
  size_t classes;
  size_t instances;
};

struct SplitCase {
  const char* name;
  std::string text;
  std::vector<Expected> chunks;
};

void PrintTo(const SplitCase& split, std::ostream* out) {
  *out << split.name;
}

class MofChunksTest : public testing::TestWithParam<SplitCase> {};

TEST_P(MofChunksTest, CutsWholeStatementsAtLineEnds) {
  const std::vector<MofChunk> chunks = SplitMof(GetParam().text, 1);
  ASSERT_EQ(chunks.size(), GetParam().chunks.size());
  for (size_t i = 0; i < chunks.size(); ++i) {
    EXPECT_EQ(chunks[i].text, GetParam().chunks[i].text) << i;
    EXPECT_EQ(chunks[i].classes, GetParam().chunks[i].classes) << i;
    EXPECT_EQ(chunks[i].instances, GetParam().chunks[i].instances) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MofChunksTest,
    testing::Values(SplitCase{"BracesInStrings",
                              "class A { [key] string N; };\ninstance of A { N = \"};\"; };\n",
                              {{"class A { [key] string N; };\n", 1, 0},
                               {"\ninstance of A { N = \"};\"; };\n", 0, 1}}},
                    SplitCase{"PragmasReplayedOnTheirLines",
                              "#pragma namespace(\"a\")\nclass A { };\n\n// c;\n[x] class B { };\n",
                              {{"#pragma namespace(\"a\")\nclass A { };\n", 1, 0},
                               {"#pragma namespace(\"a\") \n\n\n// c;\n[x] class B { };\n", 1, 0}}},
                    SplitCase{"SharedLinesAndOpenStatementsStayTogether",
                              "class A { };class B { };\nclass C\n{ };\n",
                              {{"class A { };class B { };\n", 2, 0}, {"\nclass C\n{ };\n", 1, 0}}},
                    SplitCase{"CommentsAcrossLines",
                              "/* ; {\n */ instance of A { N = '}'; };\ninstance of A {};",
                              {{"/* ; {\n */ instance of A { N = '}'; };\n", 0, 1},
                               {"\n\ninstance of A {};", 0, 1}}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quillmere::host
