#include "host/commands/pretty_xml.h"

#include <expat.h>

#include <memory>
#include <utility>
#include <vector>

#include "host/common/xml_text.h"

namespace quillmere::host {
namespace {

struct Node {
  enum class Kind { kElement, kText, kCdata, kComment, kInstruction };
  Kind kind = Kind::kElement;
  std::string name;  // the element's name or the instruction's target
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;
  std::vector<Node> children;
};

Node MakeNode(Node::Kind kind, std::string name = {}, std::string text = {}) {
  Node node;
  node.kind = kind;
  node.name = std::move(name);
  node.text = std::move(text);
  return node;
}

// Appending only ever touches the innermost open element, so the pointers to the open
// ones stay valid.
struct TreeBuilder {
  std::vector<Node*> open;
  bool inCdata = false;

  Node& Current() { return *open.back(); }

  void AddText(std::string_view text) {
    const Node::Kind kind = inCdata ? Node::Kind::kCdata : Node::Kind::kText;
    auto& children = Current().children;
    if (children.empty() || children.back().kind != kind) children.push_back(MakeNode(kind));
    children.back().text += text;
  }
};

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool OnlyText(const Node& element) {
  for (const Node& child : element.children)
    if (child.kind != Node::Kind::kText && child.kind != Node::Kind::kCdata) return false;
  return true;
}

std::string Inline(const Node& node, std::string_view text) {
  switch (node.kind) {
    case Node::Kind::kCdata:
      return "<![CDATA[" + node.text + "]]>";
    case Node::Kind::kComment:
      return "<!--" + node.text + "-->";
    case Node::Kind::kInstruction:
      return "<?" + node.name + (node.text.empty() ? "" : " " + node.text) + "?>";
    default:
      return EscapeXmlText(text);
  }
}

void Print(const Node& node, size_t depth, std::string& out) {
  const std::string indent(2 * depth, ' ');
  if (node.kind != Node::Kind::kElement) {
    const std::string_view text = node.kind == Node::Kind::kText ? Trimmed(node.text) : node.text;
    if (node.kind != Node::Kind::kText || !text.empty()) out += indent + Inline(node, text) + "\n";
    return;
  }
  out += indent + "<" + node.name;
  for (const auto& [name, value] : node.attributes)
    out += " " + name + "=\"" + EscapeXmlAttribute(value) + "\"";
  if (node.children.empty()) {
    out += "/>\n";
    return;
  }
  if (OnlyText(node)) {
    out += ">";
    for (const Node& child : node.children)
      out += Inline(child, child.text);
    out += "</" + node.name + ">\n";
    return;
  }
  out += ">\n";
  for (const Node& child : node.children)
    Print(child, depth + 1, out);
  out += indent + "</" + node.name + ">\n";
}

using Parser = std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)>;

void SetHandlers(XML_Parser parser) {
  XML_SetElementHandler(
      parser,
      [](void* data, const XML_Char* name, const XML_Char** attributes) {
        auto* builder = static_cast<TreeBuilder*>(data);
        Node element = MakeNode(Node::Kind::kElement, name);
        for (size_t i = 0; attributes[i] != nullptr; i += 2)
          element.attributes.emplace_back(attributes[i], attributes[i + 1]);
        builder->Current().children.push_back(std::move(element));
        builder->open.push_back(&builder->Current().children.back());
      },
      [](void* data, const XML_Char*) { static_cast<TreeBuilder*>(data)->open.pop_back(); });
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
    static_cast<TreeBuilder*>(data)->AddText(std::string_view(text, length));
  });
  XML_SetCdataSectionHandler(
      parser,
      [](void* data) {
        auto* builder = static_cast<TreeBuilder*>(data);
        builder->inCdata = true;
        builder->Current().children.push_back(MakeNode(Node::Kind::kCdata));
      },
      [](void* data) { static_cast<TreeBuilder*>(data)->inCdata = false; });
  XML_SetCommentHandler(parser, [](void* data, const XML_Char* text) {
    static_cast<TreeBuilder*>(data)->Current().children.push_back(
        MakeNode(Node::Kind::kComment, {}, text));
  });
  XML_SetProcessingInstructionHandler(
      parser, [](void* data, const XML_Char* target, const XML_Char* text) {
        static_cast<TreeBuilder*>(data)->Current().children.push_back(
            MakeNode(Node::Kind::kInstruction, target, text));
      });
}

}  // namespace

std::optional<std::string> PrettyXml(std::string_view fragment) {
  // One made-up root holds the fragment's top-level nodes; it is not printed.
  const std::string document = "<fragment>" + std::string(fragment) + "</fragment>";
  const Parser parser(XML_ParserCreate("UTF-8"), &XML_ParserFree);
  Node root;
  TreeBuilder builder{{&root}};
  XML_SetUserData(parser.get(), &builder);
  SetHandlers(parser.get());
  if (XML_Parse(parser.get(), document.data(), static_cast<int>(document.size()), XML_TRUE) !=
      XML_STATUS_OK) {
    return std::nullopt;
  }
  std::string out;
  for (const Node& child : root.children.front().children)
    Print(child, 0, out);
  return out;
}

}  // namespace quillmere::host
