// What the host returns, as the core takes it: PointInformation's array with its lower bound,
// numbers, true/false, and the values that are none of these.
#include <gtest/gtest.h>

#include "base/RunFailure.h"
#include "host/win/VariantConversion.h"
#include "win/AutomationValues.h"

namespace corvane::win {
namespace {

// A VARIANT holding a one-dimensional array of `type` with the given lower bound; fill() writes
// the elements.
template <typename Fill>
Variant ArrayOf(VARTYPE type, LONG lowerBound, ULONG count, Fill fill) {
  SafeArray array(SafeArrayCreateVector(type, lowerBound, count));
  EXPECT_NE(array.Get(), nullptr);
  for (ULONG i = 0; i < count; ++i) {
    LONG index = lowerBound + static_cast<LONG>(i);
    fill(array.Get(), index);
  }
  Variant value;
  V_VT(value.Receive()) = static_cast<VARTYPE>(VT_ARRAY | type);
  V_ARRAY(const_cast<VARIANT*>(&value.Get())) = array.Release();
  return value;
}

// PointInformation's usual reply: 13 VARIANTs, element i holding i + 0.5, element 6 a text.
Variant PointInformationReply(LONG lowerBound) {
  return ArrayOf(VT_VARIANT, lowerBound, 13, [&](SAFEARRAY* array, LONG index) {
    Variant element = index - lowerBound == 6 ? Variant() : Variant::Double(index + 0.5);
    if (index - lowerBound == 6) {
      V_VT(element.Receive()) = VT_BSTR;
      V_BSTR(const_cast<VARIANT*>(&element.Get())) = SysAllocString(L"no star");
    }
    ASSERT_EQ(SafeArrayPutElement(array, &index, const_cast<VARIANT*>(&element.Get())), S_OK);
  });
}

FailureKind KindOf(auto call) {
  try {
    call();
  } catch (const RunFailure& failure) {
    return failure.Kind();
  }
  ADD_FAILURE() << "no RunFailure";
  return FailureKind::Host;
}

TEST(HostArrayFromVariant, KeepsTheLowerBoundSoElementsAreFoundByTheirIndexValue) {
  for (LONG lowerBound : {0L, 1L}) {
    SCOPED_TRACE(lowerBound);
    const host::HostArray array =
        ToHostArray(PointInformationReply(lowerBound).Get(), L"PointInformation");
    EXPECT_EQ(array.lowerBound, lowerBound);
    ASSERT_EQ(array.elements.size(), 13u);
    EXPECT_EQ(array.At(lowerBound + 7), lowerBound + 7 + 0.5);
    EXPECT_EQ(array.At(12), 12.5);
    EXPECT_EQ(array.elements[6], std::nullopt);  // "no star" is no number
  }
}

TEST(HostArrayFromVariant, ConvertsTypedArraysAndNumericTexts) {
  const Variant doubles = ArrayOf(VT_R8, 1, 3, [](SAFEARRAY* array, LONG index) {
    double value = index * 1.25;
    SafeArrayPutElement(array, &index, &value);
  });
  EXPECT_EQ(ToHostArray(doubles.Get(), L"x").At(3), 3.75);

  const Variant singles = ArrayOf(VT_R4, 0, 2, [](SAFEARRAY* array, LONG index) {
    float value = 0.5f + static_cast<float>(index);
    SafeArrayPutElement(array, &index, &value);
  });
  EXPECT_EQ(ToHostArray(singles.Get(), L"x").At(1), 1.5);

  const Variant texts = ArrayOf(VT_BSTR, 0, 2, [](SAFEARRAY* array, LONG index) {
    Bstr text = Bstr::FromWide(index == 0 ? L"2.5" : L"abc");
    SafeArrayPutElement(array, &index, text.Get());  // copies the text
  });
  const host::HostArray converted = ToHostArray(texts.Get(), L"x");
  EXPECT_EQ(converted.elements[0], 2.5);
  EXPECT_EQ(converted.elements[1], std::nullopt);
}

TEST(HostArrayFromVariant, FollowsAnArrayPassedByReference) {
  Variant reply = PointInformationReply(1);
  SAFEARRAY* array = V_ARRAY(&reply.Get());
  VARIANT byReference;
  V_VT(&byReference) = VT_BYREF | VT_ARRAY | VT_VARIANT;
  V_ARRAYREF(&byReference) = &array;
  EXPECT_EQ(ToHostArray(byReference, L"x").At(12), 12.5);
}

TEST(HostArrayFromVariant, RefusesWhatIsNoOneDimensionalArray) {
  EXPECT_EQ(KindOf([] { ToHostArray(Variant::Double(1.0).Get(), L"x"); }),
            FailureKind::TypeMismatch);
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  Variant square;
  V_VT(square.Receive()) = VT_ARRAY | VT_R8;
  V_ARRAY(const_cast<VARIANT*>(&square.Get())) = SafeArrayCreate(VT_R8, 2, bounds);
  EXPECT_EQ(KindOf([&] { ToHostArray(square.Get(), L"x"); }), FailureKind::TypeMismatch);
}

Variant Null() {
  Variant value;
  V_VT(value.Receive()) = VT_NULL;
  return value;
}

Variant Text(const wchar_t* text) {
  Variant value;
  V_VT(value.Receive()) = VT_BSTR;
  V_BSTR(const_cast<VARIANT*>(&value.Get())) = SysAllocString(text);
  return value;
}

TEST(HostValues, NumbersComeBackAsDoubleWhateverTheirType) {
  EXPECT_EQ(ToDouble(Variant::Int16(-3).Get(), L"x"), -3.0);
  EXPECT_EQ(ToDouble(Variant::Int32(32768).Get(), L"x"), 32768.0);
  EXPECT_EQ(ToDouble(Variant::Single(0.25f).Get(), L"x"), 0.25);
  EXPECT_EQ(ToDouble(Variant::Bool(true).Get(), L"x"), -1.0);
  EXPECT_EQ(ToDouble(Text(L"2.5").Get(), L"x"), 2.5);
  double variable = 7.5;
  EXPECT_EQ(ToDouble(Variant::Reference(VT_R8, &variable).Get(), L"x"), 7.5);
}

TEST(HostValues, AValueThatIsNoNumberIsATypeMismatchNamingTheMember) {
  try {
    ToDouble(Text(L"abc").Get(), L"GuiderAngle");
    FAIL() << "no RunFailure";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Kind(), FailureKind::TypeMismatch);
    EXPECT_NE(failure.Description().find("GuiderAngle"), std::string::npos);
  }
  EXPECT_EQ(KindOf([] { ToDouble(Null().Get(), L"x"); }), FailureKind::TypeMismatch);
}

TEST(HostValues, TrueFalseReadsAndTheNullGuiderRunning) {
  EXPECT_TRUE(ToBool(Variant::Bool(true).Get(), L"x"));
  EXPECT_FALSE(ToBool(Variant::Bool(false).Get(), L"x"));
  EXPECT_TRUE(ToBool(Variant::Int32(1).Get(), L"x"));
  EXPECT_EQ(KindOf([] { ToBool(Null().Get(), L"x"); }), FailureKind::TypeMismatch);
  // GuiderRunning: empty or null reads as false.
  EXPECT_FALSE(ToBoolOrFalse(Null().Get(), L"GuiderRunning"));
  EXPECT_FALSE(ToBoolOrFalse(Variant().Get(), L"GuiderRunning"));
  EXPECT_TRUE(ToBoolOrFalse(Variant::Bool(true).Get(), L"GuiderRunning"));
}

TEST(HostValues, TextsAndObjects) {
  EXPECT_EQ(ToText(Text(L"Autoguider Image").Get(), L"x"), "Autoguider Image");
  EXPECT_EQ(ToText(Text(L"K\u00e4mera").Get(), L"x"), "K\xc3\xa4mera");  // UTF-8
  EXPECT_EQ(KindOf([] { ToObject(Variant().Get(), L"Documents"); }), FailureKind::TypeMismatch);
}

}  // namespace
}  // namespace corvane::win
