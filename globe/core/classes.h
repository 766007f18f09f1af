// The root of the globe component's classes, its exception class, and the class registry
// through which files and environment documents create objects by class name.
//
// Every class that can be named in a file declares itself with GLOBE_CLASS, which gives it
// a class descriptor (name and base) for descent checks. A base class whose descendants are
// created by name also declares TCreatable (itself) and TConstructor (the one constructor
// shape its descendants share), for example
//
//   class TGlobeObject : public TGlobeObjectData {
//     GLOBE_CLASS(TGlobeObject, TGlobeObjectData)
//    public:
//     using TCreatable = TGlobeObject;
//     using TConstructor = std::unique_ptr<TGlobeObject> (*)(TGlobeObjectSource* aParent);
//     ...
//   };
//
// Each module registers its creatable classes from an explicit registration function called
// at start-up; nothing relies on static initialisers, which a linker may drop from a static
// library.
#pragma once

#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace globe {

/// The globe component's exception: a message and nothing more.
class EGlobeException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Descriptor of a globe class: its name and its base's descriptor.
class TGlobeClass {
 public:
  constexpr TGlobeClass(std::string_view Name, const TGlobeClass* Parent) noexcept
      : name_(Name), parent_(Parent) {}
  TGlobeClass(const TGlobeClass&) = delete;
  TGlobeClass& operator=(const TGlobeClass&) = delete;

  [[nodiscard]] constexpr std::string_view ClassName() const noexcept { return name_; }
  /// The base's descriptor; null for TGlobeRoot.
  [[nodiscard]] constexpr const TGlobeClass* ClassParent() const noexcept { return parent_; }
  /// True when this class is Base or descends from it.
  [[nodiscard]] bool InheritsFrom(const TGlobeClass& Base) const noexcept;

 private:
  std::string_view name_;
  const TGlobeClass* parent_;
};

#define GLOBE_CLASS(Class, Base)                                                  \
 public:                                                                          \
  using inherited = Base;                                                         \
  static const ::globe::TGlobeClass& StaticClass() noexcept {                     \
    static const ::globe::TGlobeClass descriptor{#Class, &Base::StaticClass()};   \
    return descriptor;                                                            \
  }                                                                               \
  [[nodiscard]] const ::globe::TGlobeClass& ClassType() const noexcept override { \
    return StaticClass();                                                         \
  }                                                                               \
                                                                                  \
 private:

/// Base of every class of the globe component that is not a platform control. Instances
/// have identity: they are neither copied nor moved (Clone where a class offers it).
class TGlobeRoot {
 public:
  TGlobeRoot() = default;
  TGlobeRoot(const TGlobeRoot&) = delete;
  TGlobeRoot& operator=(const TGlobeRoot&) = delete;
  virtual ~TGlobeRoot() = default;

  static const TGlobeClass& StaticClass() noexcept;
  [[nodiscard]] virtual const TGlobeClass& ClassType() const noexcept { return StaticClass(); }
  [[nodiscard]] std::string_view ClassName() const noexcept { return ClassType().ClassName(); }
  [[nodiscard]] bool InheritsFrom(const TGlobeClass& Base) const noexcept {
    return ClassType().InheritsFrom(Base);
  }
  /// Display name of the class; the class name unless a descendant says otherwise.
  [[nodiscard]] virtual std::string PrintableClassName() const { return std::string(ClassName()); }
};

// ---- Class registry ---------------------------------------------------------------------

namespace detail {
using TErasedConstructor = void (*)();
void RegisterClass(const TGlobeClass& Class, const TGlobeClass& Shape,
                   TErasedConstructor Constructor, bool AddToClassList);
/// The constructor registered for Class when it was registered with the shape of Shape;
/// throws EGlobeException otherwise.
TErasedConstructor ConstructorFor(const TGlobeClass& Class, const TGlobeClass& Shape);
}  // namespace detail

namespace detail {
template <class T>
void RegisterOne(bool AddToClassList) {
  using Root = typename T::TCreatable;
  typename Root::TConstructor construct = [](auto... args) -> std::unique_ptr<Root> {
    return std::make_unique<T>(args...);
  };
  RegisterClass(T::StaticClass(), Root::StaticClass(),
                reinterpret_cast<TErasedConstructor>(construct), AddToClassList);
}
}  // namespace detail

/// Enters T into the class registry under its class name, creatable through the
/// constructor shape of T::TCreatable. Registering a class again does nothing; another
/// class under a name already taken throws EGlobeException "A class named <n> already
/// exists".
template <class T>
void RegisterGlobeClass() {
  detail::RegisterOne<T>(false);
}

/// Registers each class as RegisterGlobeClass does and appends it to the process-wide list
/// of globe classes.
template <class... T>
void RegisterGlobeClasses() {
  (detail::RegisterOne<T>(true), ...);
}

/// The registered class of that name (letter case ignored), or null.
[[nodiscard]] const TGlobeClass* FindGlobeClass(std::string_view Name) noexcept;
/// As FindGlobeClass; throws EGlobeException "Class <Name> not found" when unregistered.
[[nodiscard]] const TGlobeClass& GetGlobeClass(std::string_view Name);
/// The classes registered through RegisterGlobeClasses, in registration order.
[[nodiscard]] std::span<const TGlobeClass* const> GlobeClassList() noexcept;

/// Creates an instance of the registered class Class as a Base, through the constructor
/// shape of Base::TCreatable. Throws EGlobeException "<Class> is not a <Base>" when Class
/// does not descend from Base, and when Class was not registered with that shape.
template <class Base, class... Args>
[[nodiscard]] std::unique_ptr<Base> CreateGlobeObject(const TGlobeClass& Class, Args&&... args) {
  using Root = typename Base::TCreatable;
  if (!Class.InheritsFrom(Base::StaticClass())) {
    throw EGlobeException(std::string(Class.ClassName()) + " is not a " +
                          std::string(Base::StaticClass().ClassName()));
  }
  auto construct = reinterpret_cast<typename Root::TConstructor>(
      detail::ConstructorFor(Class, Root::StaticClass()));
  std::unique_ptr<Root> made = construct(std::forward<Args>(args)...);
  return std::unique_ptr<Base>(static_cast<Base*>(made.release()));
}

/// CreateGlobeObject of the class registered under Name.
template <class Base, class... Args>
[[nodiscard]] std::unique_ptr<Base> CreateGlobeObject(std::string_view Name, Args&&... args) {
  return CreateGlobeObject<Base>(GetGlobeClass(Name), std::forward<Args>(args)...);
}

}  // namespace globe
