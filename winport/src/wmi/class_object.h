// IWbemClassObject for both kinds of object: a class (its definition, which Put and
// Delete change) and an instance (the definition of its class, shared, with the values
// set on it). A definition is copied before it is changed, so clones, spawned instances
// and the objects an enumeration hands out never see each other's changes.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <winport/com_object.h>

#include "class_definition.h"

namespace winport::wmi {

// Where a stored object lives, for __SERVER, __NAMESPACE and __PATH. The texts are shared:
// every object an enumeration hands out carries the same location, and copies none of it.
class ObjectLocation {
 public:
  ObjectLocation() = default;
  ObjectLocation(WideString server, WideString namespace_path)
      : texts_(std::make_shared<const Texts>(Texts{std::move(server), std::move(namespace_path)})) {
  }

  WideView server() const { return texts_ ? WideView(texts_->server) : WideView(); }
  // "root\cimv2\x"; empty for an object not yet stored
  WideView namespace_path() const { return texts_ ? WideView(texts_->namespace_path) : WideView(); }

 private:
  struct Texts {
    WideString server;
    WideString namespace_path;
  };
  std::shared_ptr<const Texts> texts_;
};

class ClassObject final : public ComObject<IWbemClassObject> {
 public:
  using InstanceValues = std::vector<std::optional<Value>>;

  static ComPtr<ClassObject> NewClass();
  static ComPtr<ClassObject> OfClass(std::shared_ptr<const ClassDefinition> definition,
                                     ObjectLocation location);
  static ComPtr<ClassObject> OfInstance(std::shared_ptr<const ClassDefinition> definition,
                                        InstanceValues values, ObjectLocation location);
  // The object behind an interface pointer, if it is one of ours.
  static ClassObject* From(IWbemClassObject* object);

  bool IsInstance() const { return instance_; }
  const ClassDefinition& Definition() const { return *definition_; }
  std::shared_ptr<const ClassDefinition> SharedDefinition() const { return definition_; }
  const InstanceValues& SetValues() const { return values_; }
  // Each property's value as Get sees it: set on the instance, else the class default.
  std::vector<Value> EffectiveValues() const;
  void SetLocation(ObjectLocation location) { location_ = std::move(location); }

  // The qualifiers of the object (empty property name) or of one property; null when
  // there is no such property.
  const Qualifiers* QualifiersOf(WideView property) const;
  Qualifiers* MutableQualifiersOf(WideView property);

  HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet** set) override;
  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                LONG* flavor) override;
  HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) override;
  HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR qualifier_name, LONG flags, VARIANT* qualifier_value,
                                     SAFEARRAY** names) override;
  HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG flags) override;
  HRESULT STDMETHODCALLTYPE Next(LONG flags, BSTR* name, VARIANT* value, CIMTYPE* type,
                                 LONG* flavor) override;
  HRESULT STDMETHODCALLTYPE EndEnumeration() override;
  HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR property,
                                                    IWbemQualifierSet** set) override;
  HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** copy) override;
  HRESULT STDMETHODCALLTYPE GetObjectText(LONG flags, BSTR* text) override;
  HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG flags, IWbemClassObject** derived) override;
  HRESULT STDMETHODCALLTYPE SpawnInstance(LONG flags, IWbemClassObject** instance) override;
  HRESULT STDMETHODCALLTYPE CompareTo(LONG flags, IWbemClassObject* other) override;
  HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR name, BSTR* class_name) override;
  HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR ancestor) override;
  HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR name, LONG flags, IWbemClassObject** in,
                                      IWbemClassObject** out) override;
  HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR name, LONG flags, IWbemClassObject* in,
                                      IWbemClassObject* out) override;
  HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG flags) override;
  HRESULT STDMETHODCALLTYPE NextMethod(LONG flags, BSTR* name, IWbemClassObject** in,
                                       IWbemClassObject** out) override;
  HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override;
  HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR method, IWbemQualifierSet** set) override;
  HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR method, BSTR* class_name) override;

 private:
  ClassObject(std::shared_ptr<const ClassDefinition> definition, bool instance,
              InstanceValues values, ObjectLocation location);

  ClassDefinition& MutableDefinition();
  // A system property's value; false when name is not one.
  bool SystemProperty(WideView name, Value* value, CIMTYPE* type) const;
  std::optional<WideString> RelativePath() const;
  // The names GetNames and BeginEnumeration select by the origin and key flags.
  HRESULT SelectNames(LONG flags, std::vector<WideString>* names) const;
  HRESULT PutOnClass(WideView name, const Value& value, CIMTYPE type);
  HRESULT PutOnInstance(WideView name, const Value& value, CIMTYPE type);

  std::shared_ptr<const ClassDefinition> definition_;
  bool instance_;
  InstanceValues values_;
  ObjectLocation location_;
  std::optional<std::vector<WideString>> enumeration_;
  std::size_t enumeration_next_ = 0;
};

// MOF text of a class or an instance, as GetObjectText writes it.
WideString ObjectText(const ClassObject& object);

}  // namespace winport::wmi
