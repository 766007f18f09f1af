#include "globe/core/classes.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace globe {

bool TGlobeClass::InheritsFrom(const TGlobeClass& Base) const noexcept {
  for (const TGlobeClass* c = this; c != nullptr; c = c->ClassParent()) {
    if (c == &Base) return true;
  }
  return false;
}

const TGlobeClass& TGlobeRoot::StaticClass() noexcept {
  static const TGlobeClass descriptor{"TGlobeRoot", nullptr, typeid(TGlobeRoot)};
  return descriptor;
}

namespace {

// Files spell class names exactly; letter case is ignored so that a hand-edited
// environment document is not refused for it.
struct CaseInsensitiveLess {
  using is_transparent = void;
  static char Lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
  }
};

// Function-local static: created on first use, whichever module registers first.
std::map<std::string, const TGlobeClass*, CaseInsensitiveLess>& Registry() {
  static std::map<std::string, const TGlobeClass*, CaseInsensitiveLess> registry;
  return registry;
}

std::vector<const TGlobeClass*>& ClassList() {
  static std::vector<const TGlobeClass*> list;
  return list;
}

}  // namespace

void detail::RegisterClass(const TGlobeClass& Class, bool AddToClassList) {
  auto [it, inserted] = Registry().try_emplace(std::string(Class.ClassName()), &Class);
  if (!inserted) {
    if (it->second != &Class) {
      throw EGlobeException("A class named " + std::string(Class.ClassName()) + " already exists");
    }
    return;
  }
  if (AddToClassList) ClassList().push_back(&Class);
}

detail::TErasedConstructor detail::ConstructorFor(const TGlobeClass& Class,
                                                  const TGlobeClass& Shape) {
  const TMaker& maker = Class.Maker();
  if (maker.Constructor == nullptr || &maker.Shape() != &Shape) {
    throw EGlobeException(std::string(Class.ClassName()) + " is not created as a " +
                          std::string(Shape.ClassName()));
  }
  return maker.Constructor;
}

std::string detail::TypeName(const std::type_info& Type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(Type.name(), nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : Type.name();
  std::free(demangled);  // NOLINT: allocated by the demangler with malloc
  return name;
}

const TGlobeClass* FindGlobeClass(std::string_view Name) noexcept {
  auto it = Registry().find(Name);
  return it == Registry().end() ? nullptr : it->second;
}

const TGlobeClass& GetGlobeClass(std::string_view Name) {
  const TGlobeClass* c = FindGlobeClass(Name);
  if (c == nullptr) throw EGlobeException("Class " + std::string(Name) + " not found");
  return *c;
}

std::span<const TGlobeClass* const> GlobeClassList() noexcept { return ClassList(); }

}  // namespace globe
