#include "mof_parser.h"

#include <array>
#include <utility>

#include "common/ascii_case.h"
#include "mof_lexer.h"
#include "mof_value_check.h"

namespace winport::wmi {
namespace {

using detail::EqualsIgnoringAsciiCase;

struct TypeName {
  std::u16string_view name;
  CIMTYPE type;
};

constexpr std::array<TypeName, 14> kTypeNames = {{
    {u"string", CIM_STRING},
    {u"boolean", CIM_BOOLEAN},
    {u"datetime", CIM_DATETIME},
    {u"char16", CIM_CHAR16},
    {u"real32", CIM_REAL32},
    {u"real64", CIM_REAL64},
    {u"sint8", CIM_SINT8},
    {u"uint8", CIM_UINT8},
    {u"sint16", CIM_SINT16},
    {u"uint16", CIM_UINT16},
    {u"sint32", CIM_SINT32},
    {u"uint32", CIM_UINT32},
    {u"sint64", CIM_SINT64},
    {u"uint64", CIM_UINT64},
}};

struct FlavorName {
  std::u16string_view name;
  LONG set;
  LONG clear;
};

constexpr LONG kToInstance = WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE;
constexpr LONG kToSubclass = WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS;
constexpr LONG kDisableOverride = WBEM_FLAVOR_NOT_OVERRIDABLE;

constexpr std::array<FlavorName, 9> kFlavorNames = {{
    {u"ToInstance", kToInstance, 0},
    {u"NotToInstance", 0, kToInstance},
    {u"ToSubclass", kToSubclass, 0},
    {u"NotToSubclass", 0, kToSubclass},
    {u"Restricted", 0, kToInstance | kToSubclass},
    {u"EnableOverride", 0, kDisableOverride},
    {u"DisableOverride", kDisableOverride, 0},
    {u"Amended", WBEM_FLAVOR_AMENDED, 0},
    {u"Translatable", 0, 0},
}};

// A qualifier without flavors propagates to derived classes and may be overridden.
constexpr LONG kDefaultFlavor = kToSubclass;

class Parser {
 public:
  explicit Parser(WideView text) : lexer_(text) { Advance(); }

  MofDocument ParseDocument();

 private:
  void Advance() {
    previous_ = std::move(token_);
    token_ = lexer_.Next();
    if (token_.kind == MofTokenKind::kError) {
      throw MofSyntaxError(WBEMMOF_E_UNRECOGNIZED_TOKEN, token_.where, token_.message);
    }
  }
  [[noreturn]] void Fail(HRESULT code, const char* message) const {
    throw MofSyntaxError(code, token_.where, message);
  }
  bool IsPunctuation(char16_t mark) const {
    return token_.kind == MofTokenKind::kPunctuation && token_.text[0] == mark;
  }
  bool IsKeyword(std::u16string_view word) const {
    return token_.kind == MofTokenKind::kIdentifier &&
           EqualsIgnoringAsciiCase<char16_t, char16_t>(token_.text, word);
  }
  bool Accept(char16_t mark) {
    if (!IsPunctuation(mark)) return false;
    Advance();
    return true;
  }
  void Expect(char16_t mark, HRESULT code, const char* message) {
    if (!Accept(mark)) Fail(code, message);
  }
  WideString ExpectIdentifier(HRESULT code, const char* message) {
    if (token_.kind != MofTokenKind::kIdentifier) Fail(code, message);
    Advance();
    return std::move(previous_.text);
  }

  // `{ item* };`: the body of a class or instance; answers the line of its closing brace.
  template <class Item, class ParseItem>
  int ParseBody(std::vector<Item>* items, ParseItem parse_item) {
    Expect(u'{', WBEMMOF_E_EXPECTED_OPEN_BRACE, "{ expected");
    while (!IsPunctuation(u'}')) {
      if (token_.kind == MofTokenKind::kEnd) Fail(WBEMMOF_E_EXPECTED_CLOSE_BRACE, "} expected");
      AddUnique(items, parse_item(), WBEMMOF_E_DUPLICATE_PROPERTY);
    }
    Advance();
    const int last_line = previous_.where.line;
    Expect(u';', WBEMMOF_E_EXPECTED_SEMI, "; expected after the declaration");
    return last_line;
  }
  // Appends `item` unless one of `items` has its name already.
  template <class Item>
  static void AddUnique(std::vector<Item>* items, Item item, HRESULT duplicate) {
    for (const Item& earlier : *items) {
      if (EqualsIgnoringAsciiCase<char16_t, char16_t>(earlier.name, item.name)) {
        throw MofSyntaxError(duplicate, item.where, "name given twice");
      }
    }
    items->push_back(std::move(item));
  }

  MofStatement ParseStatement();
  MofNamespacePragma ParsePragma();
  MofClass ParseClass(MofPosition where, MofQualifiers qualifiers);
  MofProperty ParseProperty();
  MofInstance ParseInstance(MofPosition where, MofQualifiers qualifiers);
  MofPropertyValue ParsePropertyValue();
  MofQualifiers ParseQualifiers();
  MofQualifier ParseQualifier();
  LONG ParseFlavors();
  MofValue ParseInitializer();
  MofValue ParseConstant();
  MofValue ParseNumber();
  CIMTYPE ParseType();

  MofLexer lexer_;
  MofToken token_;
  MofToken previous_;
};

MofDocument Parser::ParseDocument() {
  MofDocument document;
  while (token_.kind != MofTokenKind::kEnd)
    document.statements.push_back(ParseStatement());
  return document;
}

MofStatement Parser::ParseStatement() {
  if (IsPunctuation(u'#')) return ParsePragma();
  const MofPosition where = token_.where;
  MofQualifiers qualifiers = ParseQualifiers();
  if (IsKeyword(u"class")) return ParseClass(where, std::move(qualifiers));
  if (IsKeyword(u"instance")) return ParseInstance(where, std::move(qualifiers));
  Fail(WBEMMOF_E_UNRECOGNIZED_TOKEN, "class, instance or #pragma expected");
}

MofNamespacePragma Parser::ParsePragma() {
  MofNamespacePragma pragma{token_.where, {}};
  Advance();
  if (!IsKeyword(u"pragma")) Fail(WBEMMOF_E_INVALID_PRAGMA, "pragma expected after #");
  Advance();
  if (!IsKeyword(u"namespace")) Fail(WBEMMOF_E_INVALID_PRAGMA, "unknown pragma");
  Advance();
  Expect(u'(', WBEMMOF_E_EXPECTED_OPEN_PAREN, "( expected");
  if (token_.kind != MofTokenKind::kString) {
    Fail(WBEMMOF_E_INVALID_NAMESPACE_SYNTAX, "namespace path string expected");
  }
  pragma.path = ParseConstant().text;
  if (pragma.path.empty()) Fail(WBEMMOF_E_INVALID_NAMESPACE_SYNTAX, "empty namespace path");
  Expect(u')', WBEMMOF_E_EXPECTED_CLOSE_PAREN, ") expected");
  return pragma;
}

MofClass Parser::ParseClass(MofPosition where, MofQualifiers qualifiers) {
  MofClass declared{where, 0, std::move(qualifiers), {}, {}, {}};
  Advance();
  declared.name = ExpectIdentifier(WBEMMOF_E_EXPECTED_CLASS_NAME, "class name expected");
  if (Accept(u':')) {
    declared.superclass =
        ExpectIdentifier(WBEMMOF_E_EXPECTED_CLASS_NAME, "superclass name expected");
  }
  declared.last_line = ParseBody(&declared.properties, [this] { return ParseProperty(); });
  return declared;
}

MofProperty Parser::ParseProperty() {
  MofProperty property;
  property.where = token_.where;
  property.qualifiers = ParseQualifiers();
  property.type = ParseType();
  property.name = ExpectIdentifier(WBEMMOF_E_EXPECTED_PROPERTY_NAME, "property name expected");
  if (IsPunctuation(u'(')) Fail(WBEMMOF_E_INVALID_CLASS_DECLARATION, "methods are not supported");
  if (Accept(u'[')) {
    if (token_.kind == MofTokenKind::kInteger) Advance();  // a fixed size is not kept
    Expect(u']', WBEMMOF_E_EXPECTED_CLOSE_BRACKET, "] expected");
    property.type |= CIM_FLAG_ARRAY;
  }
  if (Accept(u'=')) {
    MofValue value = ParseInitializer();
    if (auto error = CheckMofValue(value, property.type)) throw *error;
    property.default_value = std::move(value);
  }
  Expect(u';', WBEMMOF_E_EXPECTED_SEMI, "; expected after the property");
  return property;
}

CIMTYPE Parser::ParseType() {
  if (token_.kind != MofTokenKind::kIdentifier) {
    Fail(WBEMMOF_E_UNRECOGNIZED_TYPE, "property type expected");
  }
  for (const TypeName& known : kTypeNames) {
    if (IsKeyword(known.name)) {
      Advance();
      return known.type;
    }
  }
  Fail(WBEMMOF_E_UNRECOGNIZED_TYPE, "unknown property type");
}

MofInstance Parser::ParseInstance(MofPosition where, MofQualifiers qualifiers) {
  MofInstance declared{where, 0, std::move(qualifiers), {}, {}, {}};
  Advance();
  if (!IsKeyword(u"of")) Fail(WBEMMOF_E_INVALID_INSTANCE_DECLARATION, "of expected");
  Advance();
  declared.class_name = ExpectIdentifier(WBEMMOF_E_EXPECTED_CLASS_NAME, "class name expected");
  if (IsKeyword(u"as")) {
    Advance();
    if (token_.kind != MofTokenKind::kAlias) Fail(WBEMMOF_E_EXPECTED_ALIAS_NAME, "$alias expected");
    declared.alias = token_.text;
    Advance();
  }
  declared.last_line = ParseBody(&declared.values, [this] { return ParsePropertyValue(); });
  return declared;
}

MofPropertyValue Parser::ParsePropertyValue() {
  MofPropertyValue assigned;
  assigned.where = token_.where;
  assigned.qualifiers = ParseQualifiers();
  assigned.name = ExpectIdentifier(WBEMMOF_E_EXPECTED_PROPERTY_NAME, "property name expected");
  if (!Accept(u'=')) Fail(WBEMMOF_E_INVALID_INSTANCE_DECLARATION, "= expected");
  assigned.value = ParseInitializer();
  Expect(u';', WBEMMOF_E_EXPECTED_SEMI, "; expected after the value");
  return assigned;
}

MofQualifiers Parser::ParseQualifiers() {
  MofQualifiers qualifiers;
  if (!Accept(u'[')) return qualifiers;
  do {
    AddUnique(&qualifiers, ParseQualifier(), WBEMMOF_E_DUPLICATE_QUALIFIER);
  } while (Accept(u','));
  Expect(u']', WBEMMOF_E_EXPECTED_CLOSE_BRACKET, "] expected");
  return qualifiers;
}

MofQualifier Parser::ParseQualifier() {
  MofQualifier qualifier;
  qualifier.where = token_.where;
  qualifier.name = ExpectIdentifier(WBEMMOF_E_EXPECTED_QUALIFIER_NAME, "qualifier name expected");
  if (Accept(u'(')) {
    qualifier.value = ParseConstant();
    Expect(u')', WBEMMOF_E_EXPECTED_CLOSE_PAREN, ") expected");
  } else if (IsPunctuation(u'{')) {
    qualifier.value = ParseInitializer();
  } else {
    qualifier.value.kind = MofValueKind::kBoolean;
    qualifier.value.boolean = true;
    qualifier.value.where = qualifier.where;
  }
  qualifier.flavor = Accept(u':') ? ParseFlavors() : kDefaultFlavor;
  return qualifier;
}

// Flavor words up to the next , or ]; a word and its opposite together are an error.
LONG Parser::ParseFlavors() {
  LONG set = 0;
  LONG cleared = 0;
  do {
    const FlavorName* found = nullptr;
    for (const FlavorName& flavor : kFlavorNames) {
      if (IsKeyword(flavor.name)) found = &flavor;
    }
    if (found == nullptr) Fail(WBEMMOF_E_EXPECTED_FLAVOR_TYPE, "qualifier flavor expected");
    if ((found->set & cleared) != 0 || (found->clear & set) != 0) {
      Fail(WBEMMOF_E_INCOMPATIBLE_FLAVOR_TYPES, "contradicting flavors");
    }
    set |= found->set;
    cleared |= found->clear;
    Advance();
  } while (token_.kind == MofTokenKind::kIdentifier);
  return (kDefaultFlavor | set) & ~cleared;
}

MofValue Parser::ParseInitializer() {
  if (!IsPunctuation(u'{')) return ParseConstant();
  MofValue array;
  array.kind = MofValueKind::kArray;
  array.where = token_.where;
  Advance();
  if (Accept(u'}')) return array;
  do {
    array.elements.push_back(ParseConstant());
  } while (Accept(u','));
  Expect(u'}', WBEMMOF_E_EXPECTED_CLOSE_BRACE, "} expected after the array");
  return array;
}

MofValue Parser::ParseConstant() {
  MofValue value;
  value.where = token_.where;
  switch (token_.kind) {
    case MofTokenKind::kString:
      value.kind = MofValueKind::kString;
      while (token_.kind == MofTokenKind::kString) {  // "a" "b" is "ab"
        value.text += token_.text;
        Advance();
      }
      return value;
    case MofTokenKind::kChar:
      value.kind = MofValueKind::kChar;
      value.text = token_.text;
      Advance();
      return value;
    case MofTokenKind::kIdentifier:
      if (IsKeyword(u"true") || IsKeyword(u"false")) {
        value.kind = MofValueKind::kBoolean;
        value.boolean = IsKeyword(u"true");
      } else if (!IsKeyword(u"null")) {
        Fail(WBEMMOF_E_ILLEGAL_CONSTANT_VALUE, "constant value expected");
      }
      Advance();
      return value;
    default:
      return ParseNumber();
  }
}

MofValue Parser::ParseNumber() {
  MofValue value;
  value.where = token_.where;
  value.negative = IsPunctuation(u'-');
  if (value.negative || IsPunctuation(u'+')) Advance();
  if (token_.kind == MofTokenKind::kInteger) {
    value.kind = MofValueKind::kInteger;
    value.magnitude = token_.magnitude;
    if (value.magnitude == 0) value.negative = false;
  } else if (token_.kind == MofTokenKind::kReal) {
    value.kind = MofValueKind::kReal;
    value.real = value.negative ? -token_.real : token_.real;
    value.negative = false;  // the sign is in the real itself
  } else {
    Fail(WBEMMOF_E_ILLEGAL_CONSTANT_VALUE, "constant value expected");
  }
  Advance();
  return value;
}

}  // namespace

MofParseResult ParseMof(WideView text) {
  try {
    return Parser(text).ParseDocument();
  } catch (MofSyntaxError& error) {
    return std::move(error);
  }
}

}  // namespace winport::wmi
