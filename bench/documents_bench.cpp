// Writing a large document with the element builder, against the floor: the same bytes
// appended by hand into one wide string.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include <winport/wide.h>
#include <winport/windows.h>

#include "documents/decimal.h"
#include "documents/xml_element.h"
#include "timed_writes.h"

namespace {

using quillmere::CXmlElement;
using winport::WideString;

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

void PlainLoop(WideString& output, int rows) {
  output.append(OLESTR("<TABLE>"));
  for (int i = 0; i < rows; ++i) {
    output.append(OLESTR("<row id=\""));
    quillmere::AppendDecimal(i, output);
    output.append(OLESTR("\" kind=\"")).append(kRowClass).append(OLESTR("\">"));
    output.append(kRowText).append(OLESTR("</row> \n"));
  }
  output.append(OLESTR("</TABLE>"));
}

WideString BuilderDocument(int rows) {
  WideString output;
  BuildTree(rows)->Write(output);
  return output;
}

WideString PlainDocument(int rows) {
  WideString output;
  PlainLoop(output, rows);
  return output;
}

bool SameBytes(benchmark::State& state, int rows) {
  if (BuilderDocument(rows) == PlainDocument(rows)) return true;
  state.SkipWithError("the builder and the plain loop wrote different documents");
  return false;
}

void BM_BuilderTree(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  if (!SameBytes(state, rows)) return;
  const std::unique_ptr<CXmlElement> root = BuildTree(rows);
  TimeWrites(state, [&] {
    WideString output;
    root->Write(output);
    return output;
  });
}
BENCHMARK(BM_BuilderTree)->Arg(10000);

// Building the tree as well as writing it (what a listing pays per document), and its
// floor: the same bytes appended by hand.
template <WideString (*Write)(int rows)>
void BM_Document(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  if (!SameBytes(state, rows)) return;
  TimeWrites(state, [rows] { return Write(rows); });
}
BENCHMARK(BM_Document<BuilderDocument>)->Name("BM_BuilderBuildAndWrite")->Arg(10000);
BENCHMARK(BM_Document<PlainDocument>)->Name("BM_PlainLoopTree")->Arg(10000);

}  // namespace
