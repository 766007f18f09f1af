#include "globe/core/classes.h"

#include <algorithm>
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
  static const TGlobeClass descriptor{"TGlobeRoot", nullptr};
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

struct Registration {
  const TGlobeClass* Class;
  const TGlobeClass* Shape;
  detail::TErasedConstructor Constructor;
};

// Function-local statics: created on first use, whichever module registers first.
std::map<std::string, Registration, CaseInsensitiveLess>& Registry() {
  static std::map<std::string, Registration, CaseInsensitiveLess> registry;
  return registry;
}

std::vector<const TGlobeClass*>& ClassList() {
  static std::vector<const TGlobeClass*> list;
  return list;
}

}  // namespace

void detail::RegisterClass(const TGlobeClass& Class, const TGlobeClass& Shape,
                           TErasedConstructor Constructor, bool AddToClassList) {
  auto [it, inserted] = Registry().try_emplace(std::string(Class.ClassName()),
                                               Registration{&Class, &Shape, Constructor});
  if (!inserted) {
    if (it->second.Class != &Class) {
      throw EGlobeException("A class named " + std::string(Class.ClassName()) + " already exists");
    }
    return;
  }
  if (AddToClassList) ClassList().push_back(&Class);
}

detail::TErasedConstructor detail::ConstructorFor(const TGlobeClass& Class,
                                                  const TGlobeClass& Shape) {
  auto it = Registry().find(Class.ClassName());
  if (it == Registry().end() || it->second.Class != &Class) {
    throw EGlobeException("Class " + std::string(Class.ClassName()) + " not found");
  }
  if (it->second.Shape != &Shape) {
    throw EGlobeException(std::string(Class.ClassName()) + " is not created as a " +
                          std::string(Shape.ClassName()));
  }
  return it->second.Constructor;
}

const TGlobeClass* FindGlobeClass(std::string_view Name) noexcept {
  auto it = Registry().find(Name);
  return it == Registry().end() ? nullptr : it->second.Class;
}

const TGlobeClass& GetGlobeClass(std::string_view Name) {
  const TGlobeClass* c = FindGlobeClass(Name);
  if (c == nullptr) throw EGlobeException("Class " + std::string(Name) + " not found");
  return *c;
}

std::span<const TGlobeClass* const> GlobeClassList() noexcept { return ClassList(); }

}  // namespace globe
