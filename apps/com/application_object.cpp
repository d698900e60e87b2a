// The Application class: the eleven entry points over the library's one Session,
// which is made on the first creation of an Application (never when the DLL loads) and
// lives as long as the DLL stays loaded, as the library's module state does.
#include "apps/com/application_object.hpp"

#include <memory>
#include <mutex>

#include "adapters/scripted/answers_file.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/win32/wide_text.hpp"
#include "apps/com/com_values.hpp"
#include "apps/com/desktop.hpp"
#include "apps/com/dispatch.hpp"
#include "apps/com/record_objects.hpp"
#include "apps/lib/dialog_script.hpp"
#include "apps/lib/tbln.hpp"
#include "tbln_h.h"

namespace tbln::com {

// A by-reference argument: the core's value read from the caller's slot, and stored
// back into it after the call.
template <class T, class C>
struct Slot {
    explicit Slot(C* slot) : p(slot) { Load(); }
    void Load();
    void Store();
    C* p;
    T v{};
};

template <>
void Slot<std::string, BSTR>::Load() {
    FromCom(*p, v);
}
template <>
void Slot<std::string, BSTR>::Store() {
    BSTR text = ToBstr(v);
    SysFreeString(*p);
    *p = text;
}
// Integers, and Booleans, which cross as the automation Boolean the core uses too
// (True -1, False 0).
template <>
void Slot<Integer, SHORT>::Load() {
    v = *p;
}
template <>
void Slot<Integer, SHORT>::Store() {
    *p = v;
}
template <>
void Slot<Long, LONG>::Load() {
    v = *p;
}
template <>
void Slot<Long, LONG>::Store() {
    *p = v;
}
template <>
void Slot<Single, FLOAT>::Load() {
    v = *p;
}
template <>
void Slot<Single, FLOAT>::Store() {
    *p = v;
}
template <>
void Slot<std::shared_ptr<Collection>, _Collection*>::Load() {
    if (!UnwrapCollection(*p, v)) Raise(err::kTypeMismatch);
}
template <>
void Slot<std::shared_ptr<Collection>, _Collection*>::Store() {
    IDispatch* made = WrapCollection(v);
    _Collection* typed = nullptr;
    if (made) {
        made->QueryInterface(IID__Collection, reinterpret_cast<void**>(&typed));
        made->Release();
    }
    if (*p) (*p)->Release();
    *p = typed;
}

// Arrays of records.
template <class A>
struct Slot<A, SAFEARRAY*> {
    explicit Slot(SAFEARRAY** slot) : p(slot) { FromSafeArray(*p, v); }
    void Store() {
        SAFEARRAY* made = ToSafeArray(v);
        if (*p) SafeArrayDestroy(*p);
        *p = made;
    }
    SAFEARRAY** p;
    A v;
};

Slot(BSTR*)->Slot<std::string, BSTR>;
Slot(SHORT*)->Slot<Integer, SHORT>;
Slot(LONG*)->Slot<Long, LONG>;
Slot(FLOAT*)->Slot<Single, FLOAT>;
Slot(_Collection**)->Slot<std::shared_ptr<Collection>, _Collection*>;

template <class... S>
void StoreAll(S&... slots) {
    (slots.Store(), ...);
}

// The by-reference arguments BuildCell and DeepUpdate share, read from the caller's
// slots into one CaptureArguments (Take) and stored back from it after the call (Give).
struct CaptureSlots {
    CaptureSlots(BSTR* fileName0, BSTR* sheetName0, _Collection** excelFonts0, SAFEARRAY** dgnCell0,
                 SAFEARRAY** xlsShape0, SAFEARRAY** xlsImage0, FLOAT* totalHeight0,
                 FLOAT* totalWidth0, SHORT* startRow0, SHORT* endRow0, SHORT* startCol0,
                 SHORT* endCol0, BSTR* dwgdgn)
        : f(fileName0),
          s(sheetName0),
          fonts(excelFonts0),
          cells(dgnCell0),
          shapes(xlsShape0),
          images(xlsImage0),
          th(totalHeight0),
          tw(totalWidth0),
          r1(startRow0),
          r2(endRow0),
          c1(startCol0),
          c2(endCol0),
          d(dwgdgn) {}

    Slot<std::string, BSTR> f, s;
    Slot<std::shared_ptr<Collection>, _Collection*> fonts;
    Slot<MyCellArray, SAFEARRAY*> cells;
    Slot<MyShapeArray, SAFEARRAY*> shapes;
    Slot<MyImageArray, SAFEARRAY*> images;
    Slot<Single, FLOAT> th, tw;
    Slot<Integer, SHORT> r1, r2, c1, c2;
    Slot<std::string, BSTR> d;

    template <class Fn>
    void Each(CaptureArguments& a, Fn fn) {
        fn(f, a.fileName0), fn(s, a.sheetName0), fn(fonts, a.excelFonts0), fn(cells, a.dgnCell0);
        fn(shapes, a.xlsShape0), fn(images, a.xlsImage0), fn(th, a.totalHeight0);
        fn(tw, a.totalWidth0), fn(r1, a.startRow0), fn(r2, a.endRow0), fn(c1, a.startCol0);
        fn(c2, a.endCol0), fn(d, a.dwgdgn);
    }
    CaptureArguments Take() {
        CaptureArguments a;
        Each(a, [](auto& slot, auto& value) { value = std::move(slot.v); });
        return a;
    }
    void Give(CaptureArguments& a) {
        Each(a, [](auto& slot, auto& value) {
            slot.v = std::move(value);
            slot.Store();
        });
    }
};

namespace {

// A variable of the process's environment as it is now (a macro may set it through
// WScript.Shell before a call), mirrored into the C runtime's copy, which the library
// reads; empty when unset.
std::string Environment(const wchar_t* name) {
    std::wstring value(256, L'\0');
    DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n >= value.size()) {
        value.resize(n);
        n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    }
    value.resize(n < value.size() ? n : 0);
    _wputenv_s(name, value.c_str());
    return win32::Narrow(value);
}

Session& TheSession() {
    static std::once_flag once;
    static std::unique_ptr<Session> session;
    std::call_once(once, [] { session = MakeSession(); });
    return *session;
}

class ApplicationObject : public Dispatch<_Application> {
  public:
    ApplicationObject() : Dispatch(IID__Application), session_(TheSession()) {}

    // Every entry point first takes its answers when the dialogs are answered from a file
    // (see MakeSession): the steps of the file TBLN_ANSWERS names, read afresh for each
    // call, or none, so that every dialog is cancelled. Shown to the user, they take none.
    void TakeAnswers() {
        scripted::ScriptedUi* ui = session_.Scripted();
        if (!ui) return;
        ui->ClearScript();
        ui->onMessage = nullptr;
        ui->decide = nullptr;
        Environment(L"TBLN_MESSAGES");
        const std::string answers = Environment(L"TBLN_ANSWERS");
        if (answers.empty()) return;
        try {
            script::UseAnswers(*ui, session_.Objects(), session_.Sys(), answers);
        } catch (const scripted::AnswersError& e) {
            Raise(err::kInvalidCall, e.what());
        }
    }

    HRESULT STDMETHODCALLTYPE SetTopMostWindow(LONG* hwnd, VARIANT_BOOL* Topmost,
                                               LONG* result) override {
        if (!hwnd || !Topmost || !result) return E_POINTER;
        return Guard([&] {
            TakeAnswers();
            Slot h(hwnd);
            Slot t(Topmost);
            *result = App().SetTopMostWindow(h.v, t.v);
            StoreAll(h, t);
        });
    }

    HRESULT STDMETHODCALLTYPE BuildCell(BSTR* fileName0, BSTR* sheetName0,
                                        _Collection** excelFonts0, SAFEARRAY** dgnCell0,
                                        SAFEARRAY** xlsShape0, SAFEARRAY** xlsImage0,
                                        FLOAT* totalHeight0, FLOAT* totalWidth0, SHORT* startRow0,
                                        SHORT* endRow0, SHORT* startCol0, SHORT* endCol0,
                                        BSTR* dwgdgn, BSTR* QVPath, VARIANT_BOOL* fastUpdate0,
                                        VARIANT_BOOL* result) override {
        return Guard([&] {
            TakeAnswers();
            session_.InstallReader();
            CaptureSlots slots(fileName0, sheetName0, excelFonts0, dgnCell0, xlsShape0, xlsImage0,
                               totalHeight0, totalWidth0, startRow0, endRow0, startCol0, endCol0,
                               dwgdgn);
            Slot q(QVPath);
            Slot fast(fastUpdate0);
            CaptureArguments a = slots.Take();
            a.QVPath = q.v, a.fastUpdate0 = fast.v;
            *result = App().BuildCell(a);
            q.v = a.QVPath, fast.v = a.fastUpdate0;
            slots.Give(a);
            StoreAll(q, fast);
        });
    }

    HRESULT STDMETHODCALLTYPE DeepUpdate(BSTR* fileName0, BSTR* sheetName0,
                                         _Collection** excelFonts0, SAFEARRAY** dgnCell0,
                                         SAFEARRAY** xlsShape0, SAFEARRAY** xlsImage0,
                                         FLOAT* totalHeight0, FLOAT* totalWidth0, SHORT* startRow0,
                                         SHORT* endRow0, SHORT* startCol0, SHORT* endCol0,
                                         BSTR* dwgdgn, VARIANT_BOOL* result) override {
        return Guard([&] {
            TakeAnswers();
            session_.InstallReader();
            CaptureSlots slots(fileName0, sheetName0, excelFonts0, dgnCell0, xlsShape0, xlsImage0,
                               totalHeight0, totalWidth0, startRow0, endRow0, startCol0, endCol0,
                               dwgdgn);
            CaptureArguments a = slots.Take();
            *result = App().DeepUpdate(a);
            slots.Give(a);
        });
    }

    HRESULT STDMETHODCALLTYPE Populate(SHORT* row10, SHORT* row20, SHORT* rown0, SHORT* col10,
                                       SHORT* col20, SHORT* coln0, BSTR* templatePath0,
                                       BSTR* outputPath0, BSTR* excelPath0, BSTR* sheetName0,
                                       BSTR* dwgdgn, BSTR* QVPath, VARIANT_BOOL* result) override {
        return Guard([&] {
            TakeAnswers();
            Slot a(row10), b(row20), n(rown0), c(col10), e(col20), m(coln0);
            Slot t(templatePath0), o(outputPath0), x(excelPath0), s(sheetName0), d(dwgdgn),
                q(QVPath);
            *result = App().Populate(a.v, b.v, n.v, c.v, e.v, m.v, t.v, o.v, x.v, s.v, d.v, q.v);
            StoreAll(a, b, n, c, e, m, t, o, x, s, d, q);
        });
    }

    HRESULT STDMETHODCALLTYPE ParseWord(SAFEARRAY** wordLines0, SHORT* pageNum0, FLOAT* pageWid0,
                                        FLOAT* pageHei0, BSTR* fileName0,
                                        VARIANT_BOOL* result) override {
        return ImportWord(true, wordLines0, pageNum0, pageWid0, pageHei0, fileName0, result);
    }
    HRESULT STDMETHODCALLTYPE UpdateWord(SAFEARRAY** wordLines0, SHORT* pageNum0, FLOAT* pageWid0,
                                         FLOAT* pageHei0, BSTR* fileName0,
                                         VARIANT_BOOL* result) override {
        return ImportWord(false, wordLines0, pageNum0, pageWid0, pageHei0, fileName0, result);
    }

    HRESULT STDMETHODCALLTYPE ExportDGNName(BSTR* fileFormat0) override {
        return Guard([&] {
            TakeAnswers();
            Slot f(fileFormat0);
            App().ExportDGNName(f.v);
            StoreAll(f);
        });
    }

    HRESULT STDMETHODCALLTYPE MakeBlock(SAFEARRAY** tags0, SAFEARRAY** tags1, BSTR* fileName0,
                                        BSTR* sheetName0, BSTR* QVPath,
                                        VARIANT_BOOL* result) override {
        return Guard([&] {
            TakeAnswers();
            Slot<TagPosArray, SAFEARRAY*> t0(tags0), t1(tags1);
            Slot f(fileName0), s(sheetName0), q(QVPath);
            *result = App().MakeBlock(t0.v, t1.v, f.v, s.v, q.v);
            StoreAll(t0, t1, f, s, q);
        });
    }

    HRESULT STDMETHODCALLTYPE InsertBlock(SAFEARRAY** tags0, SAFEARRAY** tags1, BSTR* fileName0,
                                          BSTR* sheetName0, VARIANT_BOOL* result) override {
        return Guard([&] {
            TakeAnswers();
            Slot<TagPosArray, SAFEARRAY*> t0(tags0), t1(tags1);
            Slot f(fileName0), s(sheetName0);
            *result = App().InsertBlock(t0.v, t1.v, f.v, s.v);
            StoreAll(t0, t1, f, s);
        });
    }

    HRESULT STDMETHODCALLTYPE InsertBlockPop(SAFEARRAY** tags0, SAFEARRAY** tags1, BSTR* fileName0,
                                             BSTR* sheetName0, SHORT* row, SHORT* col,
                                             VARIANT_BOOL* result) override {
        return Guard([&] {
            TakeAnswers();
            Slot<TagPosArray, SAFEARRAY*> t0(tags0), t1(tags1);
            Slot f(fileName0), s(sheetName0);
            Slot r(row), c(col);
            *result = App().InsertBlockPop(t0.v, t1.v, f.v, s.v, r.v, c.v);
            StoreAll(t0, t1, f, s, r, c);
        });
    }

    HRESULT STDMETHODCALLTYPE SetLUC() override {
        return Guard([&] {
            TakeAnswers();
            App().SetLUC();
        });
    }

  private:
    Application& App() { return session_.App(); }

    HRESULT ImportWord(bool chooseFile, SAFEARRAY** wordLines0, SHORT* pageNum0, FLOAT* pageWid0,
                       FLOAT* pageHei0, BSTR* fileName0, VARIANT_BOOL* result) {
        return Guard([&] {
            TakeAnswers();
            Slot<WordLineArray, SAFEARRAY*> lines(wordLines0);
            Slot n(pageNum0);
            Slot w(pageWid0), h(pageHei0);
            Slot f(fileName0);
            *result = chooseFile ? App().ParseWord(lines.v, n.v, w.v, h.v, f.v)
                                 : App().UpdateWord(lines.v, n.v, w.v, h.v, f.v);
            StoreAll(lines, n, w, h, f);
        });
    }

    Session& session_;
};

}  // namespace

HRESULT CreateApplication(REFIID iid, void** out) {
    ApplicationObject* made = nullptr;
    const HRESULT hr = Guard([&] { made = new ApplicationObject(); });
    if (FAILED(hr)) return hr;
    const HRESULT result = made->QueryInterface(iid, out);
    made->Release();
    return result;
}

}  // namespace tbln::com
