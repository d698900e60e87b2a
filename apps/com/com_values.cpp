#include "apps/com/com_values.hpp"

#include <cstring>
#include <vector>

#include "adapters/win32/wide_text.hpp"
#include "apps/com/record_objects.hpp"
#include "core/error.hpp"

namespace tbln::com {

namespace {

// Frees a SAFEARRAY unless it is handed on.
struct OwnedArray {
    SAFEARRAY* array = nullptr;
    ~OwnedArray() {
        if (array) SafeArrayDestroy(array);
    }
    SAFEARRAY* Release() {
        SAFEARRAY* a = array;
        array = nullptr;
        return a;
    }
};

// The bounds of every dimension, the first (leftmost) dimension first.
std::vector<SAFEARRAYBOUND> BoundsOf(SAFEARRAY* array) {
    const UINT dims = SafeArrayGetDim(array);
    std::vector<SAFEARRAYBOUND> bounds(dims);
    for (UINT d = 0; d < dims; ++d) {
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, d + 1, &lower);
        SafeArrayGetUBound(array, d + 1, &upper);
        bounds[d].lLbound = lower;
        bounds[d].cElements = upper >= lower ? static_cast<ULONG>(upper - lower + 1) : 0;
    }
    return bounds;
}

std::size_t ElementsOf(const std::vector<SAFEARRAYBOUND>& bounds) {
    std::size_t n = bounds.empty() ? 0 : 1;
    for (const auto& b : bounds) n *= b.cElements;
    return n;
}

// An array of `type` (VT_DISPATCH or VT_VARIANT) with the same bounds as `like`, its
// elements made from the elements of `like` one by one (the same order in memory).
template <class From, class To, class Convert>
HRESULT ConvertArray(SAFEARRAY* like, VARTYPE type, SAFEARRAY** out, Convert convert) {
    auto bounds = BoundsOf(like);
    OwnedArray made{SafeArrayCreate(type, static_cast<UINT>(bounds.size()), bounds.data())};
    if (!made.array) return E_OUTOFMEMORY;
    void* from = nullptr;
    void* to = nullptr;
    HRESULT hr = SafeArrayAccessData(like, &from);
    if (FAILED(hr)) return hr;
    hr = SafeArrayAccessData(made.array, &to);
    if (SUCCEEDED(hr)) {
        const std::size_t n = ElementsOf(bounds);
        for (std::size_t i = 0; i < n && SUCCEEDED(hr); ++i) {
            hr = convert(static_cast<From*>(from)[i], static_cast<To*>(to)[i]);
        }
        SafeArrayUnaccessData(made.array);
    }
    SafeArrayUnaccessData(like);
    if (SUCCEEDED(hr)) *out = made.Release();
    return hr;
}

// Variants holding references (or Nothing, or Empty) as references.
HRESULT ToReferences(SAFEARRAY* variants, SAFEARRAY** out) {
    return ConvertArray<VARIANT, IDispatch*>(
        variants, VT_DISPATCH, out, [](const VARIANT& from, IDispatch*& to) -> HRESULT {
            const VARIANT* v = &from;
            while (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
            switch (v->vt) {
                case VT_EMPTY:
                    return S_OK;
                case VT_DISPATCH:
                    to = v->pdispVal;
                    break;
                case VT_BYREF | VT_DISPATCH:
                    to = *v->ppdispVal;
                    break;
                case VT_UNKNOWN:
                    if (!v->punkVal) return S_OK;
                    return v->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&to));
                default:
                    return DISP_E_TYPEMISMATCH;
            }
            if (to) to->AddRef();
            return S_OK;
        });
}

// References as Variants, for a script, which indexes arrays of Variants only.
HRESULT ToVariants(SAFEARRAY* references, SAFEARRAY** out) {
    return ConvertArray<IDispatch*, VARIANT>(references, VT_VARIANT, out,
                                             [](IDispatch* from, VARIANT& to) -> HRESULT {
                                                 to.vt = VT_DISPATCH;
                                                 to.pdispVal = from;
                                                 if (from) from->AddRef();
                                                 return S_OK;
                                             });
}

// The size of a value of `type` in a VARIANT, for writing through a typed reference.
std::size_t ValueSize(VARTYPE type) {
    if (type & VT_ARRAY) return sizeof(SAFEARRAY*);
    switch (type) {
        case VT_UI1:
        case VT_I1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            return 8;
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return sizeof(void*);
        default:
            return 0;
    }
}

template <class R>
SAFEARRAY* ToSafeArray1(const Array<std::shared_ptr<R>>& records) {
    if (!records.IsAllocated()) return nullptr;
    SAFEARRAYBOUND bound{static_cast<ULONG>(records.size()), records.Lower()};
    OwnedArray made{SafeArrayCreate(VT_DISPATCH, 1, &bound)};
    if (!made.array) throw std::bad_alloc();
    IDispatch** data = nullptr;
    SafeArrayAccessData(made.array, reinterpret_cast<void**>(&data));
    std::size_t i = 0;
    for (const auto& record : records) data[i++] = Wrap(record);
    SafeArrayUnaccessData(made.array);
    return made.Release();
}

template <class R>
void FromSafeArray1(SAFEARRAY* array, Array<std::shared_ptr<R>>& records) {
    if (!array) {
        records.Erase();
        return;
    }
    const auto bounds = BoundsOf(array);
    if (bounds.size() != 1) Raise(err::kTypeMismatch);
    Array<std::shared_ptr<R>> made(bounds[0].lLbound,
                                   bounds[0].lLbound + static_cast<Long>(bounds[0].cElements) - 1);
    IDispatch** data = nullptr;
    if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data))))
        Raise(err::kTypeMismatch);
    bool ok = true;
    Long i = bounds[0].lLbound;
    for (auto& record : made) ok = ok && Unwrap(data[i++ - bounds[0].lLbound], record);
    SafeArrayUnaccessData(array);
    if (!ok) Raise(err::kTypeMismatch);
    records = std::move(made);
}

}  // namespace

BSTR ToBstr(std::string_view utf8) {
    const std::wstring text = win32::Wide(utf8);
    const BSTR made = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!made) throw std::bad_alloc();
    return made;
}

std::string FromBstr(BSTR text) {
    return win32::Narrow(std::wstring_view(text, SysStringLen(text)));
}

SAFEARRAY* ToSafeArray(const MyCellArray& cells) {
    if (!cells.IsAllocated()) return nullptr;
    const Long rowLower = cells.RowLower(), rowUpper = cells.RowUpper();
    const Long colLower = cells.ColLower(), colUpper = cells.ColUpper();
    SAFEARRAYBOUND bounds[2] = {
        {static_cast<ULONG>(ElementCount(rowLower, rowUpper)), rowLower},
        {static_cast<ULONG>(ElementCount(colLower, colUpper)), colLower},
    };
    OwnedArray made{SafeArrayCreate(VT_DISPATCH, 2, bounds)};
    if (!made.array) throw std::bad_alloc();
    IDispatch** data = nullptr;
    SafeArrayAccessData(made.array, reinterpret_cast<void**>(&data));
    // The first dimension (the row) varies fastest in memory.
    for (Long c = colLower; c <= colUpper; ++c) {
        for (Long r = rowLower; r <= rowUpper; ++r) {
            data[static_cast<std::size_t>(c - colLower) * bounds[0].cElements +
                 static_cast<std::size_t>(r - rowLower)] = Wrap(cells(r, c));
        }
    }
    SafeArrayUnaccessData(made.array);
    return made.Release();
}

SAFEARRAY* ToSafeArray(const MyShapeArray& shapes) {
    return ToSafeArray1(shapes);
}
SAFEARRAY* ToSafeArray(const MyImageArray& images) {
    return ToSafeArray1(images);
}
SAFEARRAY* ToSafeArray(const WordLineArray& lines) {
    return ToSafeArray1(lines);
}
SAFEARRAY* ToSafeArray(const TagPosArray& tags) {
    return ToSafeArray1(tags);
}

void FromSafeArray(SAFEARRAY* array, MyCellArray& cells) {
    if (!array) {
        cells.Erase();
        return;
    }
    const auto bounds = BoundsOf(array);
    if (bounds.size() != 2) Raise(err::kTypeMismatch);
    const Long rowLower = bounds[0].lLbound, colLower = bounds[1].lLbound;
    MyCellArray made(rowLower, rowLower + static_cast<Long>(bounds[0].cElements) - 1, colLower,
                     colLower + static_cast<Long>(bounds[1].cElements) - 1);
    IDispatch** data = nullptr;
    if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data))))
        Raise(err::kTypeMismatch);
    bool ok = true;
    for (ULONG c = 0; c < bounds[1].cElements; ++c) {
        for (ULONG r = 0; r < bounds[0].cElements; ++r) {
            ok = ok &&
                 Unwrap(data[c * bounds[0].cElements + r],
                        made(rowLower + static_cast<Long>(r), colLower + static_cast<Long>(c)));
        }
    }
    SafeArrayUnaccessData(array);
    if (!ok) Raise(err::kTypeMismatch);
    cells = std::move(made);
}

void FromSafeArray(SAFEARRAY* array, MyShapeArray& shapes) {
    FromSafeArray1(array, shapes);
}
void FromSafeArray(SAFEARRAY* array, MyImageArray& images) {
    FromSafeArray1(array, images);
}
void FromSafeArray(SAFEARRAY* array, WordLineArray& lines) {
    FromSafeArray1(array, lines);
}
void FromSafeArray(SAFEARRAY* array, TagPosArray& tags) {
    FromSafeArray1(array, tags);
}

HRESULT CoerceArgument(const VARIANT& in, VARTYPE declared, VARIANT& out) {
    VariantClear(&out);
    const VARIANT* v = &in;
    while (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
    VARIANT plain;
    VariantInit(&plain);
    if (v->vt & VT_BYREF) {
        const HRESULT hr = VariantCopyInd(&plain, const_cast<VARIANT*>(v));
        if (FAILED(hr)) return hr;
        v = &plain;
    }
    const bool nothing = v->vt == VT_EMPTY || v->vt == VT_NULL ||
                         (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND) ||
                         ((v->vt & VT_ARRAY) && !v->parray);
    HRESULT hr = S_OK;
    if (declared & VT_ARRAY) {
        out.vt = declared;
        out.parray = nullptr;
        if (nothing) {
        } else if (v->vt == declared) {
            hr = SafeArrayCopy(v->parray, &out.parray);
        } else if (v->vt == (VT_ARRAY | VT_VARIANT) && declared == (VT_ARRAY | VT_DISPATCH)) {
            hr = ToReferences(v->parray, &out.parray);
        } else {
            hr = DISP_E_TYPEMISMATCH;
        }
        if (FAILED(hr)) out.vt = VT_EMPTY;
    } else if (declared == VT_DISPATCH) {
        out.vt = VT_DISPATCH;
        out.pdispVal = nullptr;
        if (nothing) {
        } else if (v->vt == VT_DISPATCH) {
            out.pdispVal = v->pdispVal;
            if (out.pdispVal) out.pdispVal->AddRef();
        } else if (v->vt == VT_UNKNOWN && v->punkVal) {
            hr = v->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&out.pdispVal));
        } else if (v->vt != VT_UNKNOWN) {
            hr = DISP_E_TYPEMISMATCH;
        }
        if (FAILED(hr)) out.vt = VT_EMPTY;
    } else {
        hr = VariantChangeType(&out, const_cast<VARIANT*>(v), 0, declared);
    }
    VariantClear(&plain);
    return hr;
}

HRESULT StoreArgument(VARIANT& value, const VARIANT& target) {
    if (!(target.vt & VT_BYREF)) return S_OK;
    const bool references = value.vt == (VT_ARRAY | VT_DISPATCH);
    if (target.vt == (VT_BYREF | VT_VARIANT)) {
        VARIANT* into = target.pvarVal;
        while (into->vt == (VT_BYREF | VT_VARIANT)) into = into->pvarVal;
        if (into->vt & VT_BYREF) return StoreArgument(value, *into);
        VARIANT stored;
        VariantInit(&stored);
        if ((value.vt & VT_ARRAY) && !value.parray) {
            // An array that was never dimensioned: the Variant stays Empty, as a script
            // tests it with IsArray.
            VariantClear(&value);
        } else if (references) {
            stored.vt = VT_ARRAY | VT_VARIANT;
            const HRESULT hr = ToVariants(value.parray, &stored.parray);
            if (FAILED(hr)) return hr;
            VariantClear(&value);
        } else {
            stored = value;
            value.vt = VT_EMPTY;
        }
        VariantClear(into);
        *into = stored;
        return S_OK;
    }
    // A typed variable: the value converted to its type, the old value freed.
    const VARTYPE type = static_cast<VARTYPE>(target.vt & ~VT_BYREF);
    const std::size_t size = ValueSize(type);
    if (size == 0) return DISP_E_TYPEMISMATCH;
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = S_OK;
    if (value.vt == type) {
        converted = value;
        value.vt = VT_EMPTY;
    } else if (references && type == (VT_ARRAY | VT_VARIANT)) {
        converted.vt = type;
        converted.parray = nullptr;
        if (value.parray) hr = ToVariants(value.parray, &converted.parray);
    } else if (type & VT_ARRAY) {
        hr = DISP_E_TYPEMISMATCH;
    } else {
        hr = VariantChangeType(&converted, &value, 0, type);
    }
    if (FAILED(hr)) return hr;
    VARIANT old;
    VariantInit(&old);
    old.vt = type;
    std::memcpy(&old.llVal, target.byref, size);
    VariantClear(&old);
    std::memcpy(target.byref, &converted.llVal, size);
    return S_OK;
}

}  // namespace tbln::com
