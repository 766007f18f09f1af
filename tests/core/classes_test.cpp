#include "globe/core/classes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <typeinfo>

namespace globe {
namespace {

using ::testing::ThrowsMessage;

// Two constructor shapes, as objects (by parent) and presenters (by globe and ID) have.
class TTestSource;

class TTestShape : public TGlobeRoot {
  GLOBE_CLASS(TTestShape, TGlobeRoot)
 public:
  using TCreatable = TTestShape;
  using TConstructor = std::unique_ptr<TTestShape> (*)(TTestSource* aParent);
  explicit TTestShape(TTestSource* aParent) : Parent(aParent) {}
  TTestSource* Parent;
};

class TTestCircle : public TTestShape {
  GLOBE_CLASS(TTestCircle, TTestShape)
 public:
  using TTestShape::TTestShape;
  std::string PrintableClassName() const override { return "Circle"; }
};

class TTestStyle : public TGlobeRoot {
  GLOBE_CLASS(TTestStyle, TGlobeRoot)
 public:
  using TCreatable = TTestStyle;
  using TConstructor = std::unique_ptr<TTestStyle> (*)(void* Globe, int iID);
  TTestStyle(void* aGlobe, int aID) : Globe(aGlobe), ID(aID) {}
  void* Globe;
  int ID;
};

class TTestNotRegistered : public TTestShape {
  GLOBE_CLASS(TTestNotRegistered, TTestShape)
 public:
  using TTestShape::TTestShape;
};

class TTestAbstract : public TTestShape {
  GLOBE_CLASS(TTestAbstract, TTestShape)
 public:
  using TTestShape::TTestShape;
  virtual void Draw() = 0;
};

class TTestUndeclared : public TTestShape {
 public:
  using TTestShape::TTestShape;
};

class Registry : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterGlobeClasses<TTestShape, TTestCircle>();
    RegisterGlobeClass<TTestStyle>();
  }
};

TEST_F(Registry, CreatesByNameThroughEachConstructorShape) {
  auto* parent = reinterpret_cast<TTestSource*>(0x1234);
  std::unique_ptr<TTestShape> shape = CreateGlobeObject<TTestShape>("TTestCircle", parent);
  EXPECT_EQ(shape->ClassName(), "TTestCircle");
  EXPECT_EQ(shape->PrintableClassName(), "Circle");
  EXPECT_EQ(shape->Parent, parent);
  EXPECT_TRUE(shape->InheritsFrom(TTestShape::StaticClass()));

  int globe = 0;
  auto style = CreateGlobeObject<TTestStyle>("ttestSTYLE", &globe, 7);  // letter case ignored
  EXPECT_EQ(style->ID, 7);
  EXPECT_EQ(style->Globe, &globe);
  EXPECT_EQ(style->PrintableClassName(), "TTestStyle");
}

TEST_F(Registry, RefusesUnknownNamesAndWrongBases) {
  EXPECT_EQ(FindGlobeClass("TNoSuchClass"), nullptr);
  EXPECT_THAT([] { (void)CreateGlobeObject<TTestShape>("TNoSuchClass", nullptr); },
              ThrowsMessage<EGlobeException>("Class TNoSuchClass not found"));
  EXPECT_THAT([] { (void)CreateGlobeObject<TTestCircle>("TTestShape", nullptr); },
              ThrowsMessage<EGlobeException>("TTestShape is not a TTestCircle"));
  EXPECT_THAT([] { (void)CreateGlobeObject<TTestShape>("TTestNotRegistered", nullptr); },
              ThrowsMessage<EGlobeException>("Class TTestNotRegistered not found"));
  EXPECT_THAT([] { (void)CreateGlobeObject<TTestShape>(TTestAbstract::StaticClass(), nullptr); },
              ThrowsMessage<EGlobeException>("TTestAbstract is not created as a TTestShape"));
  EXPECT_FALSE(GetGlobeClass("TTestStyle").InheritsFrom(TTestShape::StaticClass()));
}

// The registry names classes for files; a class in hand makes itself, registered or not,
// so that a copy of an object is of the object's own class.
TEST_F(Registry, CopiesAreOfTheOriginalsOwnClass) {
  auto* parent = reinterpret_cast<TTestSource*>(0x1234);
  TTestNotRegistered unregistered(parent);
  std::unique_ptr<TTestShape> copy = CreateGlobeObjectLike<TTestShape>(unregistered, parent);
  EXPECT_EQ(typeid(*copy), typeid(TTestNotRegistered));
  EXPECT_EQ(copy->Parent, parent);

  // Without a descriptor of its own the copy would be of the base class: refused.
  TTestUndeclared undeclared(parent);
  EXPECT_THAT([&] { (void)CreateGlobeObjectLike<TTestShape>(undeclared, parent); },
              ThrowsMessage<EGlobeException>(
                  "TTestShape descendant globe::(anonymous namespace)::TTestUndeclared does not "
                  "declare its class"));
}

TEST_F(Registry, RegistersOnceAndListsOnlyGlobeClasses) {
  RegisterGlobeClasses<TTestShape, TTestCircle>();  // again: nothing changes
  const auto list = GlobeClassList();
  EXPECT_EQ(std::count(list.begin(), list.end(), &TTestCircle::StaticClass()), 1);
  EXPECT_EQ(std::count(list.begin(), list.end(), &TTestStyle::StaticClass()), 0);
}

// A different class under a name already taken.
namespace other {
class TTestCircle : public TTestShape {
  GLOBE_CLASS(TTestCircle, TTestShape)
 public:
  using TTestShape::TTestShape;
};
}  // namespace other

TEST_F(Registry, RefusesASecondClassUnderATakenName) {
  EXPECT_THAT([] { RegisterGlobeClass<other::TTestCircle>(); },
              ThrowsMessage<EGlobeException>("A class named TTestCircle already exists"));
}

}  // namespace
}  // namespace globe
