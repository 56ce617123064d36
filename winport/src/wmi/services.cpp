#include "services.h"

#include <algorithm>

#include "class_object.h"
#include "common/injected_fault.h"
#include "guarded_call.h"
#include "object_codec.h"
#include "object_enumerator.h"
#include "object_path.h"
#include "wmi/cim_types.h"
#include "wql_query.h"

namespace winport::wmi {
namespace {

constexpr const OLECHAR* kNamespaceClass = OLESTR("__NAMESPACE");

// The system class whose instances are the child namespaces; built in, never stored.
std::shared_ptr<const ClassDefinition> NamespaceClass() {
  static const std::shared_ptr<const ClassDefinition> definition = [] {
    auto made = std::make_shared<ClassDefinition>();
    made->name = kNamespaceClass;
    made->derivation = {OLESTR("__SystemClass")};
    PropertyDefinition name{OLESTR("Name"), CIM_STRING, Value(), {}, kNamespaceClass};
    VARIANT key;
    VariantInit(&key);
    key.vt = VT_BOOL;
    key.boolVal = VARIANT_TRUE;
    name.qualifiers.Put(OLESTR("key"), Value(key), 0);
    made->properties.push_back(std::move(name));
    return made;
  }();
  return definition;
}

bool IsNamespaceClass(WideView name) {
  return NamesEqual(name, kNamespaceClass);
}

void ClearOut(IWbemCallResult** result) {
  if (result != nullptr) *result = nullptr;
}

class Services final : public ComObject<IWbemServices> {
 public:
  Services(std::shared_ptr<Repository> repository, NamespaceId ns, WideString path,
           WideString server)
      : repository_(std::move(repository)),
        ns_(ns),
        location_{std::move(server), std::move(path)} {}

  HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR name, LONG, IWbemContext*,
                                          IWbemServices** opened,
                                          IWbemCallResult** result) override {
    WINPORT_FAIL_HRESULT("OpenNamespace");
    ClearOut(result);
    if (opened == nullptr || SysStringLen(name) == 0) return WBEM_E_INVALID_PARAMETER;
    *opened = nullptr;
    return GuardedCall([&]() -> HRESULT {
      // Found below this namespace, whose id is known.
      NamespaceId id;
      WideString stored;
      const HRESULT hr =
          repository_->FindNamespace(BstrView(name), &id, &stored, ns_, location_.namespace_path());
      if (FAILED(hr)) return hr;
      *opened = MakeServices(repository_, id, stored, WideString(location_.server())).Detach();
      return WBEM_S_NO_ERROR;
    });
  }

  HRESULT STDMETHODCALLTYPE GetObject(const BSTR path, LONG, IWbemContext*,
                                      IWbemClassObject** object,
                                      IWbemCallResult** result) override {
    WINPORT_FAIL_HRESULT("GetObject");
    ClearOut(result);
    if (object != nullptr) *object = nullptr;
    return GuardedCall([&]() -> HRESULT {
      ComPtr<ClassObject> found;
      const HRESULT hr = FindObject(BstrView(path), &found);
      if (SUCCEEDED(hr) && object != nullptr) *object = found.Detach();
      return hr;
    });
  }

  HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject* object, LONG flags, IWbemContext*,
                                     IWbemCallResult** result) override {
    WINPORT_FAIL_HRESULT("PutClass");
    ClearOut(result);
    ClassObject* given = object ? ClassObject::From(object) : nullptr;
    if (given == nullptr || given->IsInstance()) return WBEM_E_INVALID_PARAMETER;
    const ClassDefinition& definition = given->Definition();
    if (definition.name.empty()) return WBEM_E_INVALID_OBJECT;
    if (definition.name.size() >= 2 && definition.name.compare(0, 2, OLESTR("__")) == 0)
      return WBEM_E_INVALID_OPERATION;
    return GuardedCall([&]() -> HRESULT {
      if (!definition.Superclass().empty()) {
        std::shared_ptr<const ClassDefinition> superclass;
        if (FAILED(LoadClass(definition.Superclass(), &superclass)))
          return WBEM_E_INVALID_SUPERCLASS;
      }
      return repository_->WriteClass(ns_, definition.name, definition.Superclass(),
                                     EncodeClass(definition),
                                     flags & WBEM_MASK_UPDATE_ONLY_OR_CREATE);
    });
  }

  HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR name, LONG, IWbemContext*,
                                        IWbemCallResult** result) override {
    WINPORT_FAIL_HRESULT("DeleteClass");
    ClearOut(result);
    if (SysStringLen(name) == 0) return WBEM_E_INVALID_PARAMETER;
    return GuardedCall([&] { return repository_->DeleteClass(ns_, BstrView(name)); });
  }

  HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR superclass, LONG flags, IWbemContext*,
                                            IEnumWbemClassObject** enumerator) override {
    WINPORT_FAIL_HRESULT("CreateClassEnum");
    if (enumerator == nullptr) return WBEM_E_INVALID_PARAMETER;
    *enumerator = nullptr;
    return GuardedCall([&]() -> HRESULT {
      const WideView parent = BstrView(superclass);
      Repository::ReadScope read(*repository_);
      std::shared_ptr<const ClassDefinition> parent_class;
      if (!parent.empty() && FAILED(LoadClass(parent, &parent_class))) return WBEM_E_INVALID_CLASS;
      std::vector<std::string> bodies;
      HRESULT hr = repository_->AllClasses(ns_, &bodies);
      if (FAILED(hr)) return hr;
      auto objects = std::make_shared<ObjectList>();
      const bool shallow = (flags & WBEM_FLAG_SHALLOW) != 0;
      for (const std::string& body : bodies) {
        auto definition = std::make_shared<ClassDefinition>();
        hr = DecodeClass(body, definition.get());
        if (FAILED(hr)) return hr;
        const bool wanted = shallow ? NamesEqual(definition->Superclass(), parent)
                                    : parent.empty() || definition->InheritsFrom(parent);
        if (wanted) objects->push_back(ClassObject::OfClass(std::move(definition), location_));
      }
      *enumerator = MakeObjectEnumerator(std::move(objects)).Detach();
      return WBEM_S_NO_ERROR;
    });
  }

  HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* object, LONG flags, IWbemContext*,
                                        IWbemCallResult** result) override {
    WINPORT_FAIL_HRESULT("PutInstance");
    ClearOut(result);
    ClassObject* given = object ? ClassObject::From(object) : nullptr;
    if (given == nullptr || !given->IsInstance()) return WBEM_E_INVALID_PARAMETER;
    return GuardedCall([&]() -> HRESULT {
      const ClassDefinition& definition = given->Definition();
      WideString key;
      HRESULT hr = InstanceKeyText(definition, given->EffectiveValues(), &key);
      if (IsNamespaceClass(definition.name)) {
        if (FAILED(hr)) return hr;
        const Value name = given->EffectiveValues()[0];
        return repository_->CreateNamespace(ns_, name.TextView(),
                                            (flags & WBEM_FLAG_CREATE_ONLY) != 0);
      }
      std::shared_ptr<const ClassDefinition> stored;
      const HRESULT found = LoadClass(definition.name, &stored);
      if (IsStatus(found, WBEM_E_NOT_FOUND)) return WBEM_E_INVALID_CLASS;
      if (FAILED(found)) return found;
      if (FAILED(hr)) return hr;
      return repository_->WriteInstance(ns_, definition.name, key,
                                        EncodeInstance(definition, given->SetValues()),
                                        flags & WBEM_MASK_UPDATE_ONLY_OR_CREATE);
    });
  }

  HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR path, LONG, IWbemContext*,
                                           IWbemCallResult** result) override {
    WINPORT_FAIL_HRESULT("DeleteInstance");
    ClearOut(result);
    return GuardedCall([&]() -> HRESULT {
      ObjectPath parsed;
      HRESULT hr = ParseObjectPath(BstrView(path), &parsed);
      if (FAILED(hr)) return hr;
      if (!parsed.is_instance) return WBEM_E_INVALID_OBJECT_PATH;
      std::shared_ptr<const ClassDefinition> definition;
      hr = LoadClass(parsed.class_name, &definition);
      if (IsStatus(hr, WBEM_E_NOT_FOUND)) return WBEM_E_INVALID_CLASS;
      WideString key;
      if (SUCCEEDED(hr)) hr = PathKeyText(*definition, parsed, &key);
      if (FAILED(hr)) return hr;
      if (IsNamespaceClass(parsed.class_name))
        return repository_->DeleteNamespace(ns_, parsed.keys.front().second);
      return repository_->DeleteInstance(ns_, definition->name, key);
    });
  }

  HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR class_name, LONG flags, IWbemContext*,
                                               IEnumWbemClassObject** enumerator) override {
    WINPORT_FAIL_HRESULT("CreateInstanceEnum");
    if (enumerator == nullptr || SysStringLen(class_name) == 0) return WBEM_E_INVALID_PARAMETER;
    *enumerator = nullptr;
    return GuardedCall([&]() -> HRESULT {
      auto objects = std::make_shared<ObjectList>();
      const HRESULT hr =
          CollectInstances(BstrView(class_name), (flags & WBEM_FLAG_SHALLOW) == 0, objects.get());
      if (FAILED(hr)) return hr;
      *enumerator = MakeObjectEnumerator(std::move(objects)).Detach();
      return WBEM_S_NO_ERROR;
    });
  }

  HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG, IWbemContext*,
                                      IEnumWbemClassObject** enumerator) override {
    WINPORT_FAIL_HRESULT("ExecQuery");
    if (enumerator == nullptr) return WBEM_E_INVALID_PARAMETER;
    *enumerator = nullptr;
    if (!NamesEqual(BstrView(language), OLESTR("WQL"))) return WBEM_E_INVALID_QUERY_TYPE;
    return GuardedCall([&]() -> HRESULT {
      WqlQuery parsed;
      HRESULT hr = ParseWqlQuery(BstrView(query), &parsed);
      if (FAILED(hr)) return hr;
      ObjectList all;
      hr = CollectInstances(parsed.class_name, true, &all);
      if (IsStatus(hr, WBEM_E_INVALID_CLASS)) return WBEM_E_INVALID_QUERY;
      if (FAILED(hr)) return hr;
      auto objects = std::make_shared<ObjectList>();
      for (ComPtr<IWbemClassObject>& object : all) {
        bool matches = true;
        if (parsed.where) {
          hr = Matches(object.Get(), *parsed.where, &matches);
          if (FAILED(hr)) return hr;
        }
        if (matches) objects->push_back(std::move(object));
      }
      *enumerator = MakeObjectEnumerator(std::move(objects)).Detach();
      return WBEM_S_NO_ERROR;
    });
  }

  // Asynchronous calls, notification queries and methods are not served here.
  HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*,
                                           IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*,
                                          IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*,
                                             IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*,
                                                 IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*,
                                             IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*,
                                                IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*,
                                                    IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                           IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                                  IEnumWbemClassObject**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                                       IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*,
                                       IWbemClassObject*, IWbemClassObject**,
                                       IWbemCallResult**) override {
    return WBEM_E_NOT_SUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                            IWbemClassObject*, IWbemObjectSink*) override {
    return WBEM_E_NOT_SUPPORTED;
  }

 private:
  static constexpr LONG WBEM_MASK_UPDATE_ONLY_OR_CREATE =
      WBEM_FLAG_CREATE_ONLY | WBEM_FLAG_UPDATE_ONLY;

  HRESULT LoadClass(WideView name, std::shared_ptr<const ClassDefinition>* definition) {
    if (IsNamespaceClass(name)) {
      *definition = NamespaceClass();
      return S_OK;
    }
    Repository::ReadScope read(*repository_);
    std::int64_t generation;
    HRESULT hr = read.ClassGeneration(&generation);
    if (FAILED(hr)) return hr;
    *definition = repository_->Classes().Find(ns_, name, generation);
    if (*definition) return S_OK;
    std::string body;
    hr = repository_->ReadClass(ns_, name, &body);
    if (FAILED(hr)) return hr;
    auto decoded = std::make_shared<ClassDefinition>();
    hr = DecodeClass(body, decoded.get());
    if (FAILED(hr)) return hr;
    repository_->Classes().Keep(ns_, generation, decoded);
    *definition = std::move(decoded);
    return S_OK;
  }

  HRESULT FindObject(WideView path, ComPtr<ClassObject>* found) {
    if (path.empty()) {
      *found = ClassObject::NewClass();
      return WBEM_S_NO_ERROR;
    }
    ObjectPath parsed;
    HRESULT hr = ParseObjectPath(path, &parsed);
    if (FAILED(hr)) return hr;
    Repository::ReadScope read(*repository_);
    std::shared_ptr<const ClassDefinition> definition;
    hr = LoadClass(parsed.class_name, &definition);
    if (IsStatus(hr, WBEM_E_NOT_FOUND) && parsed.is_instance) return WBEM_E_INVALID_CLASS;
    if (FAILED(hr)) return hr;
    if (!parsed.is_instance) {
      *found = ClassObject::OfClass(std::move(definition), location_);
      return WBEM_S_NO_ERROR;
    }
    WideString key;
    hr = PathKeyText(*definition, parsed, &key);
    if (FAILED(hr)) return hr;
    ClassObject::InstanceValues values;
    if (IsNamespaceClass(parsed.class_name)) {
      hr = FindChildNamespace(parsed.keys.front().second, &values);
    } else {
      std::string body;
      hr = repository_->ReadInstance(ns_, definition->name, key, &body);
      if (SUCCEEDED(hr)) hr = DecodeInstance(body, *definition, &values);
    }
    if (FAILED(hr)) return hr;
    *found = ClassObject::OfInstance(std::move(definition), std::move(values), location_);
    return WBEM_S_NO_ERROR;
  }

  HRESULT FindChildNamespace(WideView name, ClassObject::InstanceValues* values) {
    std::vector<WideString> children;
    const HRESULT hr = repository_->ChildNamespaces(ns_, &children);
    if (FAILED(hr)) return hr;
    for (const WideString& child : children) {
      if (NamesEqual(child, name)) {
        values->assign(1, Value::Text(child));
        return S_OK;
      }
    }
    return WBEM_E_NOT_FOUND;
  }

  // The class and, when deep, the classes derived from it, level by level. A class is
  // taken once, even if a redefined superclass has made the tree a loop.
  HRESULT ClassTree(std::shared_ptr<const ClassDefinition> root, bool deep,
                    std::vector<std::shared_ptr<const ClassDefinition>>* classes) {
    classes->push_back(std::move(root));
    for (std::size_t i = 0; deep && i < classes->size(); ++i) {
      std::vector<WideString> names;
      HRESULT hr = repository_->Subclasses(ns_, (*classes)[i]->name, &names);
      if (FAILED(hr)) return hr;
      for (const WideString& name : names) {
        const auto taken = [&](const auto& listed) { return NamesEqual(listed->name, name); };
        if (std::any_of(classes->begin(), classes->end(), taken)) continue;
        std::shared_ptr<const ClassDefinition> subclass;
        hr = LoadClass(name, &subclass);
        if (FAILED(hr)) return hr;
        classes->push_back(std::move(subclass));
      }
    }
    return S_OK;
  }

  HRESULT CollectInstances(WideView class_name, bool deep, ObjectList* objects) {
    Repository::ReadScope read(*repository_);
    std::shared_ptr<const ClassDefinition> definition;
    HRESULT hr = LoadClass(class_name, &definition);
    if (IsStatus(hr, WBEM_E_NOT_FOUND)) return WBEM_E_INVALID_CLASS;
    if (FAILED(hr)) return hr;
    if (IsNamespaceClass(class_name)) {
      std::vector<WideString> children;
      hr = repository_->ChildNamespaces(ns_, &children);
      for (const WideString& child : children) {
        objects->push_back(ClassObject::OfInstance(definition, {Value::Text(child)}, location_));
      }
      return hr;
    }
    std::vector<std::shared_ptr<const ClassDefinition>> classes;
    hr = ClassTree(std::move(definition), deep, &classes);
    if (FAILED(hr)) return hr;
    for (const std::shared_ptr<const ClassDefinition>& own : classes) {
      hr = repository_->Instances(ns_, own->name, [&](std::string_view body) {
        ClassObject::InstanceValues values;
        const HRESULT decoded = DecodeInstance(body, *own, &values);
        if (SUCCEEDED(decoded))
          objects->push_back(ClassObject::OfInstance(own, std::move(values), location_));
        return decoded;
      });
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

  static HRESULT Matches(IWbemClassObject* object, const WqlQuery::Condition& condition,
                         bool* matches) {
    ClassObject* instance = ClassObject::From(object);
    const auto index = instance->Definition().Find(condition.property);
    if (!index) return WBEM_E_INVALID_QUERY;
    Value text;
    const Value value = instance->EffectiveValues()[*index];
    *matches = SUCCEEDED(CoerceToCimType(value, CIM_STRING, &text)) && !value.IsNull() &&
               NamesEqual(text.TextView(), condition.value);
    return S_OK;
  }

  std::shared_ptr<Repository> repository_;
  NamespaceId ns_;
  ObjectLocation location_;
};

}  // namespace

ComPtr<IWbemServices> MakeServices(std::shared_ptr<Repository> repository, NamespaceId ns,
                                   WideString namespace_path, WideString server) {
  return ComPtr<IWbemServices>(
      new Services(std::move(repository), ns, std::move(namespace_path), std::move(server)));
}

}  // namespace winport::wmi
