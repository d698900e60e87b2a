#include "apps/com/dispatch.hpp"

#include <mutex>
#include <vector>

#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/win32_system.hpp"
#include "apps/com/com_values.hpp"

namespace tbln::com {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

namespace {

// The error the last member of this thread raised, for Invoke's EXCEPINFO.
struct PendingError {
    HRESULT result = S_OK;
    std::string description;
};
thread_local PendingError t_pending;

// Frees the VARIANTs it holds when it goes.
struct Variants {
    explicit Variants(std::size_t n) : items(n) {
        for (auto& v : items) VariantInit(&v);
    }
    ~Variants() {
        for (auto& v : items) VariantClear(&v);
    }
    Variants(const Variants&) = delete;
    Variants& operator=(const Variants&) = delete;
    std::vector<VARIANT> items;
};

// The automation type a parameter of the type `desc` holds.
VARTYPE VarTypeOf(ITypeInfo* info, const TYPEDESC& desc) {
    switch (desc.vt) {
        case VT_SAFEARRAY:
            return static_cast<VARTYPE>(VT_ARRAY | VarTypeOf(info, *desc.lptdesc));
        case VT_PTR:
            // A reference to an interface of the library (the records, the collection).
            if (desc.lptdesc->vt == VT_USERDEFINED) return VT_DISPATCH;
            return static_cast<VARTYPE>(VT_BYREF | VarTypeOf(info, *desc.lptdesc));
        case VT_USERDEFINED:
            return VT_DISPATCH;
        case VT_INT:
            return VT_I4;
        case VT_UINT:
            return VT_UI4;
        default:
            return desc.vt;
    }
}

// The function description of member `id` for the kind of call `flags`, in the
// vtable's own type information (with the parameters as the method takes them).
HRESULT FindMember(ITypeInfo* info, DISPID id, WORD flags, FUNCDESC** found) {
    TYPEATTR* attr = nullptr;
    HRESULT hr = info->GetTypeAttr(&attr);
    if (FAILED(hr)) return hr;
    const WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f))) continue;
        if (f->memid == id && (f->invkind & flags)) {
            *found = f;
            return S_OK;
        }
        info->ReleaseFuncDesc(f);
    }
    return DISP_E_MEMBERNOTFOUND;
}

// The vtable interface behind a dual interface's dispatch type information.
HRESULT VtableInfo(ITypeInfo* info, ITypeInfo** out) {
    HREFTYPE ref = 0;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref))) {
        return info->GetRefTypeInfo(ref, out);
    }
    info->AddRef();
    *out = info;
    return S_OK;
}

bool Missing(const VARIANT& v) {
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

}  // namespace

std::wstring SelfPath() {
    return win32::Wide(win32::ModulePath());
}

HRESULT TypeLibrary(ITypeLib** out) {
    static std::mutex lock;
    static ITypeLib* library = nullptr;
    std::lock_guard guard(lock);
    if (!library) {
        const HRESULT hr = LoadTypeLibEx(SelfPath().c_str(), REGKIND_NONE, &library);
        if (FAILED(hr)) return hr;
    }
    library->AddRef();
    *out = library;
    return S_OK;
}

HRESULT TypeInfoOf(REFGUID iid, ITypeInfo** out) {
    ITypeLib* library = nullptr;
    HRESULT hr = TypeLibrary(&library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(iid, out);
    library->Release();
    return hr;
}

HRESULT ReportError(std::int32_t number, const std::string& description) {
    const HRESULT result = ErrorResult(number);
    t_pending = {result, description};
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        const BSTR text = ToBstr(description);
        create->SetDescription(text);
        create->SetSource(const_cast<LPOLESTR>(L"tbln"));
        SysFreeString(text);
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return result;
}

HRESULT NamesToIds(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids) {
    return DispGetIDsOfNames(info, names, count, ids);
}

HRESULT InvokeMember(IUnknown* self, ITypeInfo* dispatchInfo, DISPID id, WORD flags,
                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                     UINT* argumentError) {
    if (!params) return E_INVALIDARG;
    // Named arguments: only the value of a property's let.
    if (params->cNamedArgs > 1 ||
        (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
        return DISP_E_NONAMEDARGS;
    }
    ITypeInfo* info = nullptr;
    HRESULT hr = VtableInfo(dispatchInfo, &info);
    if (FAILED(hr)) return hr;
    FUNCDESC* f = nullptr;
    hr = FindMember(info, id, flags, &f);
    if (FAILED(hr)) {
        info->Release();
        return hr;
    }
    const UINT declared = static_cast<UINT>(f->cParams);
    const bool hasResult =
        declared > 0 &&
        (f->lprgelemdescParam[declared - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
    const UINT inputs = declared - (hasResult ? 1 : 0);
    UINT required = inputs;
    while (required > 0 &&
           (f->lprgelemdescParam[required - 1].paramdesc.wParamFlags & PARAMFLAG_FOPT)) {
        --required;
    }
    const UINT given = params->cArgs;
    if (given > inputs || given < required) {
        info->ReleaseFuncDesc(f);
        info->Release();
        return DISP_E_BADPARAMCOUNT;
    }

    // Each parameter in a value of its declared type; the call gets the value itself, or
    // a reference to it for a by-reference parameter.
    Variants values(declared);
    std::vector<VARIANT> call(declared);
    std::vector<VARIANTARG*> callPointers(declared);
    std::vector<VARTYPE> callTypes(declared);
    std::vector<VARTYPE> types(declared);
    for (UINT k = 0; k < declared && SUCCEEDED(hr); ++k) {
        const TYPEDESC& desc = f->lprgelemdescParam[k].tdesc;
        const bool byRef = desc.vt == VT_PTR && desc.lptdesc->vt != VT_USERDEFINED;
        const VARTYPE type = VarTypeOf(info, byRef ? *desc.lptdesc : desc);
        types[k] = type;
        VARIANT& value = values.items[k];
        if (k < inputs) {
            VARIANT missing;
            VariantInit(&missing);
            missing.vt = VT_ERROR;
            missing.scode = DISP_E_PARAMNOTFOUND;
            const VARIANT& arg = k < given ? params->rgvarg[given - 1 - k] : missing;
            if (type == VT_VARIANT) {
                VARIANT* source = const_cast<VARIANT*>(&arg);
                hr = Missing(arg) ? VariantCopy(&value, source) : VariantCopyInd(&value, source);
            } else {
                hr = CoerceArgument(arg, type, value);
            }
            if (FAILED(hr)) {
                if (argumentError) *argumentError = given - 1 - k;
                break;
            }
        } else {
            value.vt = type;
        }
        VariantInit(&call[k]);
        if (byRef || k >= inputs) {
            call[k].vt = static_cast<VARTYPE>(VT_BYREF | type);
            call[k].byref =
                type == VT_VARIANT ? static_cast<void*>(&value) : static_cast<void*>(&value.llVal);
        } else {
            call[k] = value;  // a shallow copy: `values` keeps the ownership
        }
        callTypes[k] = call[k].vt;
        callPointers[k] = &call[k];
    }
    if (SUCCEEDED(hr)) {
        VARIANT outcome;
        VariantInit(&outcome);
        t_pending = {};
        hr = DispCallFunc(self, f->oVft, CC_STDCALL, VT_ERROR, declared, callTypes.data(),
                          callPointers.data(), &outcome);
        if (SUCCEEDED(hr)) hr = outcome.scode;
        if (FAILED(hr)) {
            if (hr == t_pending.result && exception) {
                *exception = {};
                exception->bstrSource = SysAllocString(L"tbln");
                exception->bstrDescription = ToBstr(t_pending.description);
                exception->scode = hr;
                hr = DISP_E_EXCEPTION;
            }
        } else {
            // Write the by-reference arguments back into the caller's variables.
            for (UINT k = 0; k < given && SUCCEEDED(hr); ++k) {
                const VARIANT& arg = params->rgvarg[given - 1 - k];
                const TYPEDESC& desc = f->lprgelemdescParam[k].tdesc;
                const bool byRef = desc.vt == VT_PTR && desc.lptdesc->vt != VT_USERDEFINED;
                const bool out = f->lprgelemdescParam[k].paramdesc.wParamFlags & PARAMFLAG_FOUT;
                if (byRef && out && (arg.vt & VT_BYREF)) hr = StoreArgument(values.items[k], arg);
            }
            if (hasResult && result) {
                VariantClear(result);
                *result = values.items[declared - 1];
                values.items[declared - 1].vt = VT_EMPTY;
            }
        }
        t_pending = {};
    }
    info->ReleaseFuncDesc(f);
    info->Release();
    return hr;
}

}  // namespace tbln::com
