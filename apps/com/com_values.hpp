// The one place where values cross the automation boundary: the core's UTF-8 text as
// BSTR (UTF-16), its numbers and Booleans as the automation types, arrays of records
// as SAFEARRAYs of object references with the arrays' own bounds, and a macro's
// VARIANT argument coerced to the type an accessor or entry point declares.
#pragma once

#include "apps/com/win.hpp"

#include <memory>
#include <string>
#include <string_view>

#include "automation/module.hpp"
#include "core/text.hpp"

namespace tbln::com {

// Text, through the one crossing between UTF-8 and UTF-16 (adapters/win32/wide_text).
// A null BSTR is the empty string.
BSTR ToBstr(std::string_view utf8);
std::string FromBstr(BSTR text);

// A scalar of the core as the automation type of its accessor, and back. Booleans
// cross as True (-1) and False (0); any other value reads as True.
inline SHORT ToCom(Integer v) {
    return v;
}
inline LONG ToCom(Long v) {
    return v;
}
inline FLOAT ToCom(Single v) {
    return v;
}
inline DOUBLE ToCom(double v) {
    return v;
}
inline VARIANT_BOOL ToCom(bool v) {
    return v ? VARIANT_TRUE : VARIANT_FALSE;
}
inline BSTR ToCom(const std::string& v) {
    return ToBstr(v);
}
inline BSTR ToCom(const SharedText& v) {
    return ToBstr(v.str());
}

inline void FromCom(SHORT in, Integer& out) {
    out = in;
}
inline void FromCom(LONG in, Long& out) {
    out = in;
}
inline void FromCom(FLOAT in, Single& out) {
    out = in;
}
inline void FromCom(DOUBLE in, double& out) {
    out = in;
}
inline void FromCom(VARIANT_BOOL in, bool& out) {
    out = in != VARIANT_FALSE;
}
inline void FromCom(BSTR in, std::string& out) {
    out = FromBstr(in);
}
inline void FromCom(BSTR in, SharedText& out) {
    out = SharedText(FromBstr(in));
}

// Arrays of records as SAFEARRAYs of IDispatch references with the same bounds; an
// array that was never dimensioned is a null SAFEARRAY, an unset element Nothing.
// Each element refers to the same record as the core's array, so what the macro
// writes into it is what the core reads.
SAFEARRAY* ToSafeArray(const MyCellArray& cells);
SAFEARRAY* ToSafeArray(const MyShapeArray& shapes);
SAFEARRAY* ToSafeArray(const MyImageArray& images);
SAFEARRAY* ToSafeArray(const WordLineArray& lines);
SAFEARRAY* ToSafeArray(const TagPosArray& tags);
// A SAFEARRAY of references read back into the core's array (same bounds, same
// records). Raises run-time error 13 for an element that is not a record of the class.
void FromSafeArray(SAFEARRAY* array, MyCellArray& cells);
void FromSafeArray(SAFEARRAY* array, MyShapeArray& shapes);
void FromSafeArray(SAFEARRAY* array, MyImageArray& images);
void FromSafeArray(SAFEARRAY* array, WordLineArray& lines);
void FromSafeArray(SAFEARRAY* array, TagPosArray& tags);

// Makes `out` (cleared) hold `in` as the type `declared` an accessor or entry point
// takes: by-reference Variants are followed, Empty becomes a null array or Nothing,
// an array of Variants holding references becomes an array of references, and any
// other value is converted as the automation runtime converts it. Returns
// DISP_E_TYPEMISMATCH (or the conversion's own failure) when it cannot.
HRESULT CoerceArgument(const VARIANT& in, VARTYPE declared, VARIANT& out);

// Stores `value` (which is emptied) into the caller's by-reference argument `target`:
// into a Variant as it is, except that an array of references becomes an array of
// Variants (what a script indexes); into a typed variable converted to its type.
HRESULT StoreArgument(VARIANT& value, const VARIANT& target);

}  // namespace tbln::com
