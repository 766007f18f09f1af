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
// The descriptor of a creatable class also knows how to make an instance of it, so that a
// copy (Clone) is of the original's own class whether or not that class is registered. The
// registry only maps names to descriptors, for files that name a class. Each module
// registers its creatable classes from an explicit registration function called at
// start-up; nothing relies on static initialisers, which a linker may drop from a static
// library.
#pragma once

#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace globe {

/// The globe component's exception: a message and nothing more.
class EGlobeException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TGlobeClass;

namespace detail {
using TErasedConstructor = void (*)();
using TShapeGetter = const TGlobeClass& (*)() noexcept;

/// How a class is made: its constructor, type-erased, and the descriptor of the creatable
/// base whose constructor shape it has (a getter, so that a base can name itself).
struct TMaker {
  TErasedConstructor Constructor = nullptr;
  TShapeGetter Shape = nullptr;
};

template <class Signature>
struct MakerOf;
template <class Root, class... Args>
struct MakerOf<std::unique_ptr<Root> (*)(Args...)> {
  template <class T>
  static std::unique_ptr<Root> Make(Args... args) {
    return std::make_unique<T>(args...);
  }
  template <class T>
  static constexpr bool Constructible = std::is_constructible_v<T, Args...>;
};

/// The maker of T when T descends from a creatable base (one that declares TCreatable) and
/// can be constructed with that base's constructor shape; empty otherwise.
template <class T>
TMaker MakerFor() noexcept {
  if constexpr (requires { typename T::TCreatable; }) {
    using Root = typename T::TCreatable;
    using Shape = MakerOf<typename Root::TConstructor>;
    if constexpr (!std::is_abstract_v<T> && Shape::template Constructible<T>) {
      typename Root::TConstructor make = &Shape::template Make<T>;
      return {reinterpret_cast<TErasedConstructor>(make), &Root::StaticClass};
    }
  }
  return {};
}
}  // namespace detail

/// Descriptor of a globe class: its name, its base's descriptor, its C++ type and, for a
/// creatable class, how to make an instance.
class TGlobeClass {
 public:
  TGlobeClass(std::string_view Name, const TGlobeClass* Parent, const std::type_info& Type,
              detail::TMaker Maker = {}) noexcept
      : name_(Name), parent_(Parent), type_(&Type), maker_(Maker) {}
  TGlobeClass(const TGlobeClass&) = delete;
  TGlobeClass& operator=(const TGlobeClass&) = delete;

  [[nodiscard]] constexpr std::string_view ClassName() const noexcept { return name_; }
  /// The base's descriptor; null for TGlobeRoot.
  [[nodiscard]] constexpr const TGlobeClass* ClassParent() const noexcept { return parent_; }
  /// True when this class is Base or descends from it.
  [[nodiscard]] bool InheritsFrom(const TGlobeClass& Base) const noexcept;
  /// The C++ type the descriptor was declared in.
  [[nodiscard]] const std::type_info& Type() const noexcept { return *type_; }
  [[nodiscard]] const detail::TMaker& Maker() const noexcept { return maker_; }

 private:
  std::string_view name_;
  const TGlobeClass* parent_;
  const std::type_info* type_;
  detail::TMaker maker_;
};

#define GLOBE_CLASS(Class, Base)                                                              \
 public:                                                                                      \
  using inherited = Base;                                                                     \
  static const ::globe::TGlobeClass& StaticClass() noexcept {                                 \
    static const ::globe::TGlobeClass descriptor{#Class, &Base::StaticClass(), typeid(Class), \
                                                 ::globe::detail::MakerFor<Class>()};         \
    return descriptor;                                                                        \
  }                                                                                           \
  [[nodiscard]] const ::globe::TGlobeClass& ClassType() const noexcept override {             \
    return StaticClass();                                                                     \
  }                                                                                           \
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
void RegisterClass(const TGlobeClass& Class, bool AddToClassList);
/// The constructor of Class when it is made with the constructor shape of Shape; throws
/// EGlobeException otherwise.
TErasedConstructor ConstructorFor(const TGlobeClass& Class, const TGlobeClass& Shape);
/// The C++ name of a type, for messages.
std::string TypeName(const std::type_info& Type);

template <class T>
void RegisterOne(bool AddToClassList) {
  static_assert(
      requires { typename T::TCreatable; }, "only creatable classes are registered");
  RegisterClass(T::StaticClass(), AddToClassList);
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

/// Creates an instance of the class Class (registered or not) as a Base, through the
/// constructor shape of Base::TCreatable. Throws EGlobeException "<Class> is not a <Base>"
/// when Class does not descend from Base, and "<Class> is not created as a <shape>" when it
/// cannot be made with that shape (an abstract class, or another constructor).
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

/// A new instance of Original's own class (registered or not), made as CreateGlobeObject
/// does. Throws EGlobeException "<Class> descendant <type> does not declare its class" when
/// Original's C++ type declares no descriptor of its own (GLOBE_CLASS), which would make an
/// instance of a base instead.
template <class Base, class... Args>
[[nodiscard]] std::unique_ptr<Base> CreateGlobeObjectLike(const Base& Original, Args&&... args) {
  const TGlobeClass& cls = Original.ClassType();
  if (typeid(Original) != cls.Type()) {
    throw EGlobeException(std::string(cls.ClassName()) + " descendant " +
                          detail::TypeName(typeid(Original)) + " does not declare its class");
  }
  return CreateGlobeObject<Base>(cls, std::forward<Args>(args)...);
}

}  // namespace globe
