// What every object of the automation server shares: reference counting with the
// server's object count, IDispatch answered from the type library embedded in the DLL,
// and run-time errors of the core handed to the macro as Err.Number and Err.Description.
//
// Invoke takes the member's declared parameter types from the type library, coerces
// each argument to them (a script passes Variants, often by reference), calls the
// member through the object's own dual interface, and writes every by-reference
// argument back into the caller's variable.
#pragma once

#include "apps/com/win.hpp"

#include <atomic>
#include <cstdint>
#include <string>

namespace tbln::com {

// Live objects and server locks; the DLL may unload when both are zero.
extern std::atomic<long> g_objects;
extern std::atomic<long> g_locks;

// The DLL's own file path.
std::wstring SelfPath();

// The type library embedded in the DLL (loaded once, on first use); nullptr and the
// failure when it cannot be loaded.
HRESULT TypeLibrary(ITypeLib** out);
// The type information of one interface of the library.
HRESULT TypeInfoOf(REFGUID iid, ITypeInfo** out);

// The HRESULT a run-time error `number` of the core crosses the boundary as, and back.
inline HRESULT ErrorResult(std::int32_t number) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<WORD>(number));
}

// Runs the body of a member and turns a run-time error of the core into its HRESULT,
// with the error's number and description kept for Invoke (and set as the thread's
// error information for a caller bound to the interface itself).
HRESULT ReportError(std::int32_t number, const std::string& description);
template <class Body>
HRESULT Guard(Body&& body);

// IUnknown and IDispatch over the dual interface `Iface` whose identifier is `iid`.
// The derived class implements the interface's own members.
template <class Iface>
class Dispatch : public Iface, public ISupportErrorInfo {
  public:
    explicit Dispatch(const IID& iid) : iid_(iid) { ++g_objects; }
    virtual ~Dispatch() { --g_objects; }
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == iid_) {
            *out = static_cast<Iface*>(this);
        } else if (riid == IID_ISupportErrorInfo) {
            *out = static_cast<ISupportErrorInfo*>(this);
        } else if (void* own = Own(riid)) {
            *out = own;
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return TypeInfoOf(iid_, out);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == iid_ ? S_OK : S_FALSE;
    }

  protected:
    // Another interface the object answers (the record handle); nullptr: none.
    virtual void* Own(REFIID) { return nullptr; }

  private:
    const IID& iid_;
    std::atomic<ULONG> refs_{1};
};

// The member `id` called through `self`, whose type information is `info`, with the
// macro's arguments coerced and written back (see the header comment).
HRESULT InvokeMember(IUnknown* self, ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params,
                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError);
HRESULT NamesToIds(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids);

template <class Iface>
HRESULT Dispatch<Iface>::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ITypeInfo* info = nullptr;
    HRESULT hr = TypeInfoOf(iid_, &info);
    if (FAILED(hr)) return hr;
    hr = NamesToIds(info, names, count, ids);
    info->Release();
    return hr;
}

template <class Iface>
HRESULT Dispatch<Iface>::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    ITypeInfo* info = nullptr;
    HRESULT hr = TypeInfoOf(iid_, &info);
    if (FAILED(hr)) return hr;
    hr = InvokeMember(static_cast<Iface*>(this), info, id, flags, params, result, exception,
                      argumentError);
    info->Release();
    return hr;
}

}  // namespace tbln::com

#include "apps/com/guard.hpp"
