// The DLL's exports: the class objects of the creatable classes, the unload check, and
// the registration of every class under the ProgID prefix, with its type library and
// interfaces. DllRegisterServer writes HKEY_CLASSES_ROOT (the machine's classes);
// DllInstall with the command line "user" (regsvr32 /n /i:user) writes the same keys
// under the current user's classes, for a user who is not an administrator.
// Unregistration removes exactly the keys registration wrote. Nothing runs when the DLL
// loads: the library's session is made by the first Application created.
#include "apps/com/win.hpp"

#include <string>
#include <vector>

#include "apps/com/application_object.hpp"
#include "apps/com/dispatch.hpp"
#include "apps/com/record_objects.hpp"
#include "automation/records.hpp"
#include "platform/registry.hpp"
#include "tbln_h.h"

namespace tbln::com {
namespace {

// The class object of one creatable class.
class ClassFactory : public IClassFactory {
  public:
    explicit ClassFactory(const CLSID& clsid) : clsid_(clsid) { ++g_objects; }
    virtual ~ClassFactory() { --g_objects; }
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (clsid_ == CLSID_Application) return CreateApplication(iid, out);
        return CreateRecord(clsid_, iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ++g_locks;
        } else {
            --g_locks;
        }
        return S_OK;
    }

  private:
    CLSID clsid_;
    std::atomic<ULONG> refs_{1};
};

std::wstring Wide(const char* ascii) {
    return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii));
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// One key of the registration: its path under the classes root, and its values
// (an empty name is the key's default value).
struct Key {
    std::wstring path;
    std::vector<std::pair<std::wstring, std::wstring>> values;
};

// Every key registration writes, parents before children.
std::vector<Key> RegistrationKeys() {
    const std::wstring dll = SelfPath();
    const std::wstring library = Wide(kTypeLibraryId);
    const std::wstring version =
        std::to_wstring(kTypeLibraryMajor) + L"." + std::to_wstring(kTypeLibraryMinor);
    wchar_t locale[8] = {};
    wsprintfW(locale, L"%x", kTypeLibraryLocale);
    const std::wstring universalMarshaler = L"{00020424-0000-0000-C000-000000000046}";
    const std::wstring prefix = Wide(kProgIdPrefix) + L".";

    std::vector<Key> keys;
    const std::wstring libraryKey = L"TypeLib\\" + library;
    keys.push_back({libraryKey, {}});
    keys.push_back({libraryKey + L"\\" + version, {{L"", Wide(kTypeLibraryName)}}});
    keys.push_back({libraryKey + L"\\" + version + L"\\FLAGS", {{L"", L"0"}}});
    keys.push_back({libraryKey + L"\\" + version + L"\\" + locale, {}});
    keys.push_back({libraryKey + L"\\" + version + L"\\" + locale + L"\\win64", {{L"", dll}}});

    auto addInterface = [&](const std::wstring& iid, const std::wstring& name) {
        const std::wstring key = L"Interface\\" + iid;
        keys.push_back({key, {{L"", name}}});
        keys.push_back({key + L"\\ProxyStubClsid", {{L"", universalMarshaler}}});
        keys.push_back({key + L"\\ProxyStubClsid32", {{L"", universalMarshaler}}});
        keys.push_back({key + L"\\TypeLib", {{L"", library}, {L"Version", version}}});
    };
    for (const auto& c : kClassIdentities) {
        const std::wstring clsid = Wide(c.classId);
        const std::wstring progId = prefix + Wide(c.className);
        const std::wstring key = L"CLSID\\" + clsid;
        keys.push_back({key, {{L"", progId}}});
        keys.push_back(
            {key + L"\\InprocServer32", {{L"", dll}, {L"ThreadingModel", L"Apartment"}}});
        keys.push_back({key + L"\\ProgID", {{L"", progId}}});
        keys.push_back({key + L"\\TypeLib", {{L"", library}}});
        keys.push_back({key + L"\\Version", {{L"", version}}});
        keys.push_back({progId, {{L"", progId}}});
        keys.push_back({progId + L"\\CLSID", {{L"", clsid}}});
        addInterface(Wide(c.interfaceId), Wide(c.interfaceName));
    }
    addInterface(GuidText(IID__Collection), L"_Collection");
    return keys;
}

// The top-level keys of the registration (a class's key, its ProgID, an interface,
// the library), which unregistration removes with everything they hold.
std::vector<std::wstring> RegistrationRoots() {
    std::vector<std::wstring> roots;
    for (const auto& key : RegistrationKeys()) {
        const auto first = key.path.find(L'\\');
        if (first == std::wstring::npos || key.path.find(L'\\', first + 1) == std::wstring::npos)
            roots.push_back(key.path);
    }
    return roots;
}

HRESULT Unregister(HKEY classes) {
    for (const auto& root : RegistrationRoots()) {
        const LSTATUS status = RegDeleteTreeW(classes, root.c_str());
        if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
            RegDeleteKeyW(classes, root.c_str());
            continue;
        }
        return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT Register(HKEY classes) {
    for (const auto& key : RegistrationKeys()) {
        HKEY opened = nullptr;
        LSTATUS status = RegCreateKeyExW(classes, key.path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                         nullptr, &opened, nullptr);
        for (const auto& [name, value] : key.values) {
            if (status != ERROR_SUCCESS) break;
            status = RegSetValueExW(opened, name.empty() ? nullptr : name.c_str(), 0,
                                    static_cast<DWORD>(registry::REG_SZ),
                                    reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        }
        if (opened) RegCloseKey(opened);
        if (status != ERROR_SUCCESS) {
            Unregister(classes);
            return HRESULT_FROM_WIN32(status);
        }
    }
    return S_OK;
}

// The current user's classes (for "user"), else the machine's.
HRESULT WithClasses(bool user, HRESULT (*step)(HKEY)) {
    if (!user) return step(HKEY_CLASSES_ROOT);
    HKEY classes = nullptr;
    const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &classes, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    const HRESULT hr = step(classes);
    RegCloseKey(classes);
    return hr;
}

}  // namespace
}  // namespace tbln::com

using namespace tbln::com;

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    bool known = false;
    for (const auto& c : tbln::kClassIdentities) {
        CLSID id{};
        if (SUCCEEDED(CLSIDFromString(Wide(c.classId).c_str(), &id)) && id == clsid) known = true;
    }
    if (!known) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new ClassFactory(clsid);
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

STDAPI DllCanUnloadNow() {
    return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    return WithClasses(false, Register);
}

STDAPI DllUnregisterServer() {
    return WithClasses(false, Unregister);
}

// regsvr32 /n /i:user registers for the current user only; /u /n /i:user removes it.
STDAPI DllInstall(BOOL install, LPCWSTR command) {
    const bool user = command && lstrcmpiW(command, L"user") == 0;
    if (command && *command && !user) return E_INVALIDARG;
    return WithClasses(user, install ? Register : Unregister);
}

}  // extern "C"
