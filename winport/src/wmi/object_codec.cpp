#include "object_codec.h"

#include <cstring>
#include <new>

#include "oleauto/element_size.h"

namespace winport::wmi {
namespace {

constexpr std::uint32_t kClassMagic = 0x31434d57;     // "WMC1"
constexpr std::uint32_t kInstanceMagic = 0x31494d57;  // "WMI1"

// A number is stored as its bytes, with the size a SAFEARRAY gives its elements; a text
// by its units. Pointers and anything larger than a number are not stored: 0.
std::size_t ScalarSize(VARTYPE vt) {
  if (vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH) return 0;
  const ULONG size = winport::detail::ElementSize(vt);
  return size <= sizeof(LONGLONG) ? size : 0;
}

// The property named name, looked for from start on: an instance keeps its values in the
// order of its class's properties, so the one after the last found is usually the next.
std::optional<std::size_t> FindFrom(const ClassDefinition& definition, WideView name,
                                    std::size_t start) {
  const std::size_t count = definition.properties.size();
  for (std::size_t n = 0; n < count; ++n) {
    const std::size_t i = (start + n) % count;
    if (NamesEqual(definition.properties[i].name, name)) return i;
  }
  return std::nullopt;
}

class Writer {
 public:
  void U32(std::uint32_t v) { Raw(&v, sizeof v); }
  void Text(WideView text) {
    U32(static_cast<std::uint32_t>(text.size()));
    Raw(text.data(), text.size() * sizeof(OLECHAR));
  }
  void Raw(const void* data, std::size_t size) {
    bytes_.append(static_cast<const char*>(data), size);
  }
  void Variant(const VARIANT& var) {
    const VARTYPE vt = var.vt;
    const VARTYPE scalar = vt & ~VT_ARRAY;
    const bool storable = scalar == VT_BSTR || ScalarSize(scalar) != 0;
    if (!storable || ((vt & VT_ARRAY) && var.parray == nullptr)) {
      U32(VT_NULL);
      return;
    }
    U32(vt);
    if (!(vt & VT_ARRAY)) {
      if (vt == VT_BSTR) {
        Text(BstrView(var.bstrVal));
      } else {
        Raw(&var.llVal, ScalarSize(vt));
      }
      return;
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(var.parray, 1, &lower);
    SafeArrayGetUBound(var.parray, 1, &upper);
    const std::uint32_t count = upper >= lower ? static_cast<std::uint32_t>(upper - lower + 1) : 0;
    U32(count);
    void* data = nullptr;
    if (count == 0 || FAILED(SafeArrayAccessData(var.parray, &data))) return;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (scalar == VT_BSTR) {
        Text(BstrView(static_cast<BSTR*>(data)[i]));
      } else {
        Raw(static_cast<char*>(data) + i * ScalarSize(scalar), ScalarSize(scalar));
      }
    }
    SafeArrayUnaccessData(var.parray);
  }
  void Qualifiers(const wmi::Qualifiers& qualifiers) {
    U32(static_cast<std::uint32_t>(qualifiers.Items().size()));
    for (const Qualifier& qualifier : qualifiers.Items()) {
      Text(qualifier.name);
      U32(static_cast<std::uint32_t>(qualifier.flavor));
      Variant(qualifier.value.Get());
    }
  }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  bool U32(std::uint32_t* v) { return Raw(v, sizeof *v); }
  bool Raw(void* out, std::size_t size) {
    if (bytes_.size() - pos_ < size) return false;
    std::memcpy(out, bytes_.data() + pos_, size);
    pos_ += size;
    return true;
  }
  // Into text, whose storage is reused.
  bool Text(WideString* text) {
    std::string_view units;
    if (!TextUnits(&units)) return false;
    text->resize(units.size() / sizeof(OLECHAR));
    std::memcpy(text->data(), units.data(), units.size());
    return true;
  }
  bool Variant(Value* value) {
    std::uint32_t vt;
    if (!U32(&vt)) return false;
    if (vt == VT_NULL) {
      *value = Value();
      return true;
    }
    const VARTYPE scalar = static_cast<VARTYPE>(vt & ~VT_ARRAY);
    if (scalar != VT_BSTR && ScalarSize(scalar) == 0) return false;
    VARIANT var;
    VariantInit(&var);
    if (!(vt & VT_ARRAY)) {
      if (!Scalar(scalar, &var.llVal)) return false;
      var.vt = scalar;
      *value = Value::Adopt(var);
      return true;
    }
    std::uint32_t count;
    if (!U32(&count) || count > bytes_.size()) return false;
    SAFEARRAY* array = SafeArrayCreateVector(scalar, 0, count);
    if (array == nullptr) throw std::bad_alloc();
    var.vt = static_cast<VARTYPE>(vt);
    var.parray = array;
    Value owner = Value::Adopt(var);
    void* data = nullptr;
    if (count > 0 && FAILED(SafeArrayAccessData(array, &data))) return false;
    bool ok = true;
    for (std::uint32_t i = 0; ok && i < count; ++i) {
      ok = Scalar(scalar, static_cast<char*>(data) + i * SafeArrayGetElemsize(array));
    }
    if (count > 0) SafeArrayUnaccessData(array);
    *value = std::move(owner);
    return ok;
  }
  bool Qualifiers(wmi::Qualifiers* qualifiers) {
    std::uint32_t count;
    if (!U32(&count)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
      WideString name;
      std::uint32_t flavor;
      Value value;
      if (!Text(&name) || !U32(&flavor) || !Variant(&value)) return false;
      qualifiers->Put(name, value, static_cast<LONG>(flavor));
    }
    return true;
  }
  bool AtEnd() const { return pos_ == bytes_.size(); }

 private:
  // The bytes of a text's UTF-16 units, as stored (not aligned for OLECHAR).
  bool TextUnits(std::string_view* units) {
    std::uint32_t length;
    if (!U32(&length) || (bytes_.size() - pos_) / sizeof(OLECHAR) < length) return false;
    *units = bytes_.substr(pos_, length * sizeof(OLECHAR));
    pos_ += units->size();
    return true;
  }
  // One element into out: a BSTR (allocated) or the bytes of a number.
  bool Scalar(VARTYPE vt, void* out) {
    if (vt != VT_BSTR) return Raw(out, ScalarSize(vt));
    std::string_view units;
    if (!TextUnits(&units)) return false;
    BSTR bstr = SysAllocStringByteLen(units.data(), static_cast<UINT>(units.size()));
    if (bstr == nullptr) throw std::bad_alloc();
    std::memcpy(out, &bstr, sizeof bstr);
    return true;
  }

  std::string_view bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string EncodeClass(const ClassDefinition& definition) {
  Writer writer;
  writer.U32(kClassMagic);
  writer.Text(definition.name);
  writer.U32(static_cast<std::uint32_t>(definition.derivation.size()));
  for (const WideString& ancestor : definition.derivation)
    writer.Text(ancestor);
  writer.Qualifiers(definition.qualifiers);
  writer.U32(static_cast<std::uint32_t>(definition.properties.size()));
  for (const PropertyDefinition& property : definition.properties) {
    writer.Text(property.name);
    writer.U32(static_cast<std::uint32_t>(property.type));
    writer.Text(property.origin);
    writer.Variant(property.default_value.Get());
    writer.Qualifiers(property.qualifiers);
  }
  return writer.Take();
}

HRESULT DecodeClass(std::string_view bytes, ClassDefinition* definition) {
  *definition = ClassDefinition();
  Reader reader(bytes);
  std::uint32_t magic;
  std::uint32_t count;
  if (!reader.U32(&magic) || magic != kClassMagic || !reader.Text(&definition->name) ||
      !reader.U32(&count) || count > bytes.size())
    return WBEM_E_CRITICAL_ERROR;
  definition->derivation.resize(count);
  for (WideString& ancestor : definition->derivation) {
    if (!reader.Text(&ancestor)) return WBEM_E_CRITICAL_ERROR;
  }
  if (!reader.Qualifiers(&definition->qualifiers) || !reader.U32(&count) || count > bytes.size())
    return WBEM_E_CRITICAL_ERROR;
  definition->properties.resize(count);
  for (PropertyDefinition& property : definition->properties) {
    std::uint32_t type;
    if (!reader.Text(&property.name) || !reader.U32(&type) || !reader.Text(&property.origin) ||
        !reader.Variant(&property.default_value) || !reader.Qualifiers(&property.qualifiers))
      return WBEM_E_CRITICAL_ERROR;
    property.type = static_cast<CIMTYPE>(type);
  }
  return reader.AtEnd() ? WBEM_S_NO_ERROR : WBEM_E_CRITICAL_ERROR;
}

std::string EncodeInstance(const ClassDefinition& definition,
                           const std::vector<std::optional<Value>>& values) {
  Writer writer;
  writer.U32(kInstanceMagic);
  std::uint32_t set = 0;
  for (const auto& value : values)
    set += value.has_value() ? 1 : 0;
  writer.U32(set);
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!values[i]) continue;
    writer.Text(definition.properties[i].name);
    writer.Variant(values[i]->Get());
  }
  return writer.Take();
}

HRESULT DecodeInstance(std::string_view bytes, const ClassDefinition& definition,
                       std::vector<std::optional<Value>>* values) {
  values->assign(definition.properties.size(), std::nullopt);
  Reader reader(bytes);
  std::uint32_t magic;
  std::uint32_t count;
  if (!reader.U32(&magic) || magic != kInstanceMagic || !reader.U32(&count))
    return WBEM_E_CRITICAL_ERROR;
  WideString name;
  std::size_t next = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    Value value;
    if (!reader.Text(&name) || !reader.Variant(&value)) return WBEM_E_CRITICAL_ERROR;
    if (auto index = FindFrom(definition, name, next)) {
      (*values)[*index] = std::move(value);
      next = *index + 1;
    }
  }
  return reader.AtEnd() ? WBEM_S_NO_ERROR : WBEM_E_CRITICAL_ERROR;
}

}  // namespace winport::wmi
