// Building and writing a 10,000-row tree with the element builder, against pugixml building
// the same tree and saving it as UTF-16. Both write the same rows; ours follows every child
// with the builder's " \n", which pugixml (raw format) leaves out.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <memory>

#include <winport/wide.h>
#include <winport/windows.h>
#include <pugixml.hpp>

#include "documents/decimal.h"
#include "documents/xml_element.h"
#include "timed_writes.h"

namespace {

using quillmere::CXmlElement;
using winport::WideString;

constexpr int kRows = 10000;
const OLECHAR kRowText[] = OLESTR("row text");
const OLECHAR kRowClass[] = OLESTR("case");

// A root container with one row per case: <row id="n" kind="case">row text</row>.
std::unique_ptr<CXmlElement> BuildTree(int rows) {
  auto root = std::make_unique<CXmlElement>(OLESTR("TABLE"));
  root->SetEndTagAfterChildren(true);
  for (int i = 0; i < rows; ++i) {
    CXmlElement& row = root->AddNewChild(OLESTR("row"), kRowText);
    row.AddIntAttribute(OLESTR("id"), i);
    row.AddAttribute(OLESTR("kind"), kRowClass);
  }
  return root;
}

WideString BuilderDocument(int rows) {
  WideString output;
  BuildTree(rows)->Write(output);
  return output;
}

// The same document appended by hand: what the builder must write, byte for byte.
WideString PlainDocument(int rows) {
  WideString output;
  output.append(OLESTR("<TABLE>"));
  for (int i = 0; i < rows; ++i) {
    output.append(OLESTR("<row id=\""));
    quillmere::AppendDecimal(i, output);
    output.append(OLESTR("\" kind=\"")).append(kRowClass).append(OLESTR("\">"));
    output.append(kRowText).append(OLESTR("</row> \n"));
  }
  output.append(OLESTR("</TABLE>"));
  return output;
}

void BuildPugiTree(pugi::xml_document& document, int rows) {
  pugi::xml_node root = document.append_child("TABLE");
  for (int i = 0; i < rows; ++i) {
    pugi::xml_node row = root.append_child("row");
    row.append_attribute("id") = i;
    row.append_attribute("kind") = "case";
    row.text() = "row text";
  }
}

// Collects pugixml's UTF-16LE output into a wide string (this machine is little-endian).
class WideWriter : public pugi::xml_writer {
 public:
  explicit WideWriter(WideString& output) : output_(output) {}
  void write(const void* data, std::size_t size) override {
    output_.append(static_cast<const OLECHAR*>(data), size / sizeof(OLECHAR));
  }

 private:
  WideString& output_;
};

void SavePugiTree(const pugi::xml_document& document, WideString& output) {
  WideWriter writer(output);
  document.save(writer, "", pugi::format_raw | pugi::format_no_declaration,
                pugi::encoding_utf16_le);
}

WideString PugiDocument(int rows) {
  pugi::xml_document document;
  BuildPugiTree(document, rows);
  WideString output;
  SavePugiTree(document, output);
  return output;
}

WideString WithoutSeparators(const WideString& text) {
  const WideString separator = OLESTR(" \n");
  WideString kept;
  std::size_t from = 0;
  for (std::size_t at = text.find(separator); at != WideString::npos;
       from = at + separator.size(), at = text.find(separator, from)) {
    kept.append(text, from, at - from);
  }
  return kept.append(text, from);
}

// Both sides must write the document they are timed for.
bool SameDocuments(benchmark::State& state) {
  const WideString ours = BuilderDocument(kRows);
  if (ours == PlainDocument(kRows) && WithoutSeparators(ours) == PugiDocument(kRows)) return true;
  state.SkipWithError("the builder, the plain loop and pugixml wrote different documents");
  return false;
}

// What a listing pays per document: the tree built, written and freed.
void Documents_ElementBuilder_ours(benchmark::State& state) {
  if (!SameDocuments(state)) return;
  TimeWrites(state, [] { return BuilderDocument(kRows); });
}
void Documents_ElementBuilder_peer(benchmark::State& state) {
  if (!SameDocuments(state)) return;
  TimeWrites(state, [] { return PugiDocument(kRows); });
}
BENCHMARK(Documents_ElementBuilder_ours)->Name("Documents/ElementBuilder10000/ours");
BENCHMARK(Documents_ElementBuilder_peer)->Name("Documents/ElementBuilder10000/peer");

// Writing alone, the tree built once.
void Documents_ElementWrite_ours(benchmark::State& state) {
  if (!SameDocuments(state)) return;
  const std::unique_ptr<CXmlElement> root = BuildTree(kRows);
  TimeWrites(state, [&] {
    WideString output;
    root->Write(output);
    return output;
  });
}
void Documents_ElementWrite_peer(benchmark::State& state) {
  if (!SameDocuments(state)) return;
  pugi::xml_document document;
  BuildPugiTree(document, kRows);
  TimeWrites(state, [&] {
    WideString output;
    SavePugiTree(document, output);
    return output;
  });
}
BENCHMARK(Documents_ElementWrite_ours)->Name("Documents/ElementWrite10000/ours");
BENCHMARK(Documents_ElementWrite_peer)->Name("Documents/ElementWrite10000/peer");

}  // namespace
