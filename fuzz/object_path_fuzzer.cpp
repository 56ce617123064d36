// WMI object paths (IWbemServices::GetObject, DeleteInstance...): a path that parses,
// written back with its keys quoted as the object manager writes them, parses to the
// same class and keys.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "wmi/object_path.h"

namespace {

using winport::WideString;
using winport::wmi::ObjectPath;

WideString Written(const ObjectPath& path) {
  WideString text = path.class_name;
  if (!path.is_instance) return text;
  for (size_t i = 0; i < path.keys.size(); ++i) {
    const auto& [name, value] = path.keys[i];
    WideString formatted;
    if (FAILED(winport::wmi::FormatKeyValue(winport::wmi::Value::Text(value), &formatted)))
      quillmere::fuzz::Broken("a key value read from a path cannot be written back");
    text += i == 0 ? (name.empty() ? u"" : u".") : u",";
    text += name + u"=" + formatted;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ObjectPath path;
  if (FAILED(winport::wmi::ParseObjectPath(quillmere::fuzz::WideText(data, size), &path))) return 0;
  const WideString written = Written(path);
  ObjectPath again;
  if (FAILED(winport::wmi::ParseObjectPath(written, &again)))
    quillmere::fuzz::Broken("the path written back does not parse: " +
                            winport::WideToUtf8(written));
  if (again.class_name != path.class_name || again.is_instance != path.is_instance ||
      again.keys != path.keys)
    quillmere::fuzz::Broken("the path written back parses to other keys: " +
                            winport::WideToUtf8(written));
  return 0;
}
