// Reading MOF text into its syntax tree: declarations, constants, qualifier flavors, and
// where each kind of mistake is reported.
#include <gtest/gtest.h>

#include <string>

#include <winport/wide.h>

#include "wmi/mof/mof_parser.h"

namespace {

using winport::Utf8ToWide;
using winport::WideToUtf8;
using namespace winport::wmi;

MofDocument ParseGood(const std::string& text) {
  MofParseResult result = ParseMof(Utf8ToWide(text));
  if (auto* error = std::get_if<MofSyntaxError>(&result)) {
    ADD_FAILURE() << "line " << error->where.line << " column " << error->where.column << ": "
                  << error->message;
    return {};
  }
  return std::get<MofDocument>(std::move(result));
}

// The one property of `class C { <declaration> };`.
MofProperty OnlyProperty(const std::string& declaration) {
  MofDocument document = ParseGood("class C {\n" + declaration + "\n};");
  if (document.statements.size() != 1) return {};
  const auto& declared = std::get<MofClass>(document.statements[0]);
  return declared.properties.empty() ? MofProperty{} : declared.properties[0];
}

TEST(MofParser, ReadsNamespaceClassAndInstances) {
  const MofDocument document = ParseGood(R"(// settings of the module
#pragma namespace("\\\\.\\root\\cimv2")
#pragma namespace ("quillmere")
/* a class
   with a base */
[Description("A setting"), Abstract]
class Q_Setting : Q_Base
{
  [Key] string Name;
  sint32 Level = 2;
  uint32 Sizes[4] = {};
};
instance of Q_Setting as $First
{
  Name = "a";
  Level = -7;
};
)");
  ASSERT_EQ(document.statements.size(), 4u);
  const auto& absolute = std::get<MofNamespacePragma>(document.statements[0]);
  EXPECT_EQ(WideToUtf8(absolute.path), R"(\\.\root\cimv2)");
  EXPECT_EQ(absolute.where.line, 2);
  EXPECT_EQ(WideToUtf8(std::get<MofNamespacePragma>(document.statements[1]).path), "quillmere");

  const auto& declared = std::get<MofClass>(document.statements[2]);
  EXPECT_EQ(WideToUtf8(declared.superclass), "Q_Base");
  EXPECT_EQ(declared.where.line, 6);
  EXPECT_EQ(declared.last_line, 12);
  EXPECT_EQ(declared.qualifiers.size(), 2u);
  ASSERT_EQ(declared.properties.size(), 3u);
  EXPECT_FALSE(declared.properties[0].default_value.has_value());
  EXPECT_EQ(declared.properties[2].type, CIM_UINT32 | CIM_FLAG_ARRAY);
  EXPECT_EQ(declared.properties[2].default_value->kind, MofValueKind::kArray);

  const auto& instance = std::get<MofInstance>(document.statements[3]);
  EXPECT_EQ(WideToUtf8(instance.alias), "First");
  EXPECT_EQ(instance.where.line, 13);
  EXPECT_EQ(instance.last_line, 17);
  EXPECT_EQ(instance.values.size(), 2u);
}

TEST(MofParser, KeywordsAndTypeNamesIgnoreCase) {
  const MofDocument document =
      ParseGood("CLASS A { UINT32 X = 0; BOOLEAN B = True; }; Instance OF A { X = 1; };");
  ASSERT_EQ(document.statements.size(), 2u);
  EXPECT_EQ(std::get<MofClass>(document.statements[0]).properties[1].type, CIM_BOOLEAN);
}

struct ConstantCase {
  const char* declaration;
  CIMTYPE type;
  MofValueKind kind;
  std::uint64_t magnitude;
  bool negative;
  double real;
  const char* text;
};

class MofConstants : public testing::TestWithParam<ConstantCase> {};

TEST_P(MofConstants, AreReadAsWritten) {
  const ConstantCase& c = GetParam();
  const MofProperty property = OnlyProperty(c.declaration);
  EXPECT_EQ(property.type, c.type);
  ASSERT_TRUE(property.default_value.has_value());
  const MofValue& value = *property.default_value;
  EXPECT_EQ(value.kind, c.kind);
  EXPECT_EQ(value.magnitude, c.magnitude);
  EXPECT_EQ(value.negative, c.negative);
  EXPECT_DOUBLE_EQ(value.real, c.real);
  EXPECT_EQ(WideToUtf8(value.text), c.text);
}

constexpr auto kInt = MofValueKind::kInteger;
constexpr auto kText = MofValueKind::kString;

INSTANTIATE_TEST_SUITE_P(
    Table, MofConstants,
    testing::Values(
        ConstantCase{"sint32 A = -5;", CIM_SINT32, kInt, 5, true, 0, ""},
        ConstantCase{"sint32 A = -2147483648;", CIM_SINT32, kInt, 2147483648u, true, 0, ""},
        ConstantCase{"uint64 A = 18446744073709551615;", CIM_UINT64, kInt, UINT64_MAX, false, 0,
                     ""},
        ConstantCase{"uint8 A = 0x1F;", CIM_UINT8, kInt, 31, false, 0, ""},
        ConstantCase{"uint16 A = 017;", CIM_UINT16, kInt, 15, false, 0, ""},
        ConstantCase{"uint8 A = 101b;", CIM_UINT8, kInt, 5, false, 0, ""},
        ConstantCase{"sint64 A = -0;", CIM_SINT64, kInt, 0, false, 0, ""},
        ConstantCase{"real64 A = -1.5e3;", CIM_REAL64, MofValueKind::kReal, 0, false, -1500, ""},
        ConstantCase{"real32 A = .25;", CIM_REAL32, MofValueKind::kReal, 0, false, 0.25, ""},
        ConstantCase{R"(string A = "q\"b\\c\x41\t";)", CIM_STRING, kText, 0, false, 0,
                     "q\"b\\cA\t"},
        ConstantCase{R"(string A = "ab" /* joined */ "cd";)", CIM_STRING, kText, 0, false, 0,
                     "abcd"},
        ConstantCase{R"(char16 A = '\'';)", CIM_CHAR16, MofValueKind::kChar, 0, false, 0, "'"},
        ConstantCase{"sint32 A = null;", CIM_SINT32, MofValueKind::kNull, 0, false, 0, ""}));

struct FlavorCase {
  const char* qualifier;
  LONG flavor;
};

class MofQualifierFlavors : public testing::TestWithParam<FlavorCase> {};

TEST_P(MofQualifierFlavors, CombineWithTheDefault) {
  const MofProperty property =
      OnlyProperty(std::string("[") + GetParam().qualifier + "] string A;");
  ASSERT_EQ(property.qualifiers.size(), 1u);
  EXPECT_EQ(property.qualifiers[0].flavor, GetParam().flavor);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MofQualifierFlavors,
    testing::Values(FlavorCase{"Key", WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS},
                    FlavorCase{"Key : ToInstance", WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE |
                                                       WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS},
                    FlavorCase{"Key : Restricted", 0},
                    FlavorCase{"Key : NotToSubclass DisableOverride", WBEM_FLAVOR_NOT_OVERRIDABLE},
                    FlavorCase{"Description(\"d\") : Amended EnableOverride",
                               WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS | WBEM_FLAVOR_AMENDED}));

TEST(MofParser, QualifierValuesKeepTheirKind) {
  const MofProperty property =
      OnlyProperty(R"([Key, MaxLen(64), Values{"On", "Off"}, Scale(-1.5)] string A;)");
  ASSERT_EQ(property.qualifiers.size(), 4u);
  EXPECT_EQ(property.qualifiers[0].value.kind, MofValueKind::kBoolean);
  EXPECT_TRUE(property.qualifiers[0].value.boolean);
  EXPECT_EQ(property.qualifiers[1].value.magnitude, 64u);
  EXPECT_EQ(property.qualifiers[2].value.elements.size(), 2u);
  EXPECT_DOUBLE_EQ(property.qualifiers[3].value.real, -1.5);
}

struct ErrorCase {
  const char* text;
  uint32_t code;
  int line;
  int column;
};

class MofSyntaxErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(MofSyntaxErrors, NameTheirCodeLineAndColumn) {
  const ErrorCase& c = GetParam();
  const MofParseResult result = ParseMof(Utf8ToWide(c.text));
  ASSERT_TRUE(std::holds_alternative<MofSyntaxError>(result)) << c.text;
  const auto& error = std::get<MofSyntaxError>(result);
  EXPECT_EQ(static_cast<uint32_t>(error.code), c.code) << c.text;
  EXPECT_EQ(error.where.line, c.line) << c.text;
  EXPECT_EQ(error.where.column, c.column) << c.text;
  EXPECT_FALSE(error.message.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, MofSyntaxErrors,
    testing::Values(
        ErrorCase{"class A {\n  string B\n};", WBEMMOF_E_EXPECTED_SEMI, 3, 1},
        ErrorCase{"class A {\n  string B;\n", WBEMMOF_E_EXPECTED_CLOSE_BRACE, 3, 1},
        ErrorCase{"[Key class A {};", WBEMMOF_E_EXPECTED_CLOSE_BRACKET, 1, 6},
        ErrorCase{"[, Key] class A {};", WBEMMOF_E_EXPECTED_QUALIFIER_NAME, 1, 2},
        ErrorCase{"class A { sint32 B = abc; };", WBEMMOF_E_ILLEGAL_CONSTANT_VALUE, 1, 22},
        ErrorCase{"class A {\n  int B;\n};", WBEMMOF_E_UNRECOGNIZED_TYPE, 2, 3},
        ErrorCase{"instance of A { B 1; };", WBEMMOF_E_INVALID_INSTANCE_DECLARATION, 1, 19},
        ErrorCase{"#pragma include(\"x.mof\")", WBEMMOF_E_INVALID_PRAGMA, 1, 9},
        ErrorCase{"#pragma namespace(root)", WBEMMOF_E_INVALID_NAMESPACE_SYNTAX, 1, 19},
        ErrorCase{"class A {\n string B;\n uint32 b;\n};", WBEMMOF_E_DUPLICATE_PROPERTY, 3, 2},
        ErrorCase{"instance of A { B = 1; b = 2; };", WBEMMOF_E_DUPLICATE_PROPERTY, 1, 24},
        ErrorCase{"[Key, key] class A {};", WBEMMOF_E_DUPLICATE_QUALIFIER, 1, 7},
        ErrorCase{"[Key : Sideways] class A {};", WBEMMOF_E_EXPECTED_FLAVOR_TYPE, 1, 8},
        ErrorCase{"[Key : ToInstance NotToInstance] class A {};",
                  WBEMMOF_E_INCOMPATIBLE_FLAVOR_TYPES, 1, 19},
        ErrorCase{"class A { uint32 B = -1; };", WBEMMOF_E_OUT_OF_RANGE, 1, 22},
        ErrorCase{"class A { string B = 5; };", WBEMMOF_E_TYPE_MISMATCH, 1, 22},
        ErrorCase{"class A { string B[] = \"x\"; };", WBEMMOF_E_TYPE_MISMATCH, 1, 24},
        ErrorCase{"class A { string B = {\"x\"}; };", WBEMMOF_E_UNEXPECTED_ARRAY_INIT, 1, 22},
        ErrorCase{"class A { string B[] = {\"x\", NULL}; };", WBEMMOF_E_NULL_ARRAY_ELEM, 1, 30},
        ErrorCase{"class A { sint32 F(); };", WBEMMOF_E_INVALID_CLASS_DECLARATION, 1, 19},
        // What the lexer cannot read.
        ErrorCase{"class A {\n string B = \"open\n};", WBEMMOF_E_UNRECOGNIZED_TOKEN, 2, 13},
        ErrorCase{"class A { string B = \"\\q\"; };", WBEMMOF_E_UNRECOGNIZED_TOKEN, 1, 22},
        ErrorCase{"class A { uint64 B = 18446744073709551616; };", WBEMMOF_E_UNRECOGNIZED_TOKEN, 1,
                  22},
        ErrorCase{"class A {};\n\n  /* never closed", WBEMMOF_E_UNRECOGNIZED_TOKEN, 3, 3},
        ErrorCase{"instance of A as $ {};", WBEMMOF_E_UNRECOGNIZED_TOKEN, 1, 18}));

}  // namespace
