// Reads the type library back from tbln.dll (LoadTypeLib, ITypeLib, ITypeInfo) and checks
// it against the automation identities and records of the library: the library's
// identifier, version and locale; the creatable classes in their order, each with its
// dual default interface and identifiers; every record's properties as a get and a let
// in field order with the field's type; and the entry points of Application with their
// by-reference arguments and results. Prints each difference; exits 1 when there is one.
//
// Usage: typelib_check.exe PATH\tbln.dll [FIELDS]
// With FIELDS, also writes every record property as "Class field Type" lines, in order,
// for the macro suite's round trips.
#include <cstdio>
#include <string>
#include <vector>

#include "automation/records.hpp"

#include <windows.h>

#include <oleauto.h>

namespace {

using namespace tbln;

int g_failures = 0;
int g_checks = 0;

void Check(bool ok, const std::string& what) {
    ++g_checks;
    if (!ok) {
        ++g_failures;
        std::printf("FAIL %s\n", what.c_str());
    }
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; text && *text; ++text) out += static_cast<char>(*text);
    return out;
}

std::string GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

std::string NameOf(ITypeInfo* info, MEMBERID id) {
    BSTR name = nullptr;
    info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
    std::string out = Narrow(name);
    SysFreeString(name);
    return out;
}

// The type as the macro language names it: String, Integer, Long, Single, Double,
// Boolean, Collection, or an array of records as "MyCell()".
std::string Describe(ITypeInfo* info, const TYPEDESC& desc) {
    switch (desc.vt) {
        case VT_BSTR:
            return "String";
        case VT_I2:
            return "Integer";
        case VT_I4:
            return "Long";
        case VT_R4:
            return "Single";
        case VT_R8:
            return "Double";
        case VT_BOOL:
            return "Boolean";
        case VT_SAFEARRAY:
            return Describe(info, *desc.lptdesc) + "()";
        case VT_PTR:
            return Describe(info, *desc.lptdesc);
        case VT_USERDEFINED: {
            ITypeInfo* ref = nullptr;
            if (FAILED(info->GetRefTypeInfo(desc.hreftype, &ref))) return "?";
            std::string name = NameOf(ref, MEMBERID_NIL);
            ref->Release();
            return name.starts_with("_") ? name.substr(1) : name;
        }
        default:
            return "vt" + std::to_string(desc.vt);
    }
}

template <class T>
const char* FieldType() {
    if constexpr (std::is_same_v<T, Integer>) return "Integer";
    if constexpr (std::is_same_v<T, Long>) return "Long";
    if constexpr (std::is_same_v<T, Single>) return "Single";
    if constexpr (std::is_same_v<T, double>) return "Double";
    if constexpr (std::is_same_v<T, bool>) return "Boolean";
    return "String";
}

// One property or argument as the interface must have it.
struct Member {
    std::string name;
    std::string type;
};

template <class R>
std::vector<Member> Fields() {
    std::vector<Member> out;
    R::Visit([&](const char* name, auto member) {
        using T = std::remove_cvref_t<decltype(std::declval<R&>().*member)>;
        out.push_back({name, FieldType<T>()});
    });
    return out;
}

// The entry points: name, by-reference arguments in order, result ("" for none).
struct EntryPoint {
    std::string name;
    std::vector<Member> arguments;
    std::string result;
};

std::vector<EntryPoint> EntryPoints() {
    const std::vector<Member> capture = {
        {"fileName0", "String"},    {"sheetName0", "String"},   {"excelFonts0", "Collection"},
        {"dgnCell0", "MyCell()"},   {"xlsShape0", "MyShape()"}, {"xlsImage0", "MyImage()"},
        {"totalHeight0", "Single"}, {"totalWidth0", "Single"},  {"startRow0", "Integer"},
        {"endRow0", "Integer"},     {"startCol0", "Integer"},   {"endCol0", "Integer"}};
    const std::vector<Member> word = {{"wordLines0", "WordLine()"},
                                      {"pageNum0", "Integer"},
                                      {"pageWid0", "Single"},
                                      {"pageHei0", "Single"},
                                      {"fileName0", "String"}};
    const std::vector<Member> tags = {{"tags0", "TagPos()"},
                                      {"tags1", "TagPos()"},
                                      {"fileName0", "String"},
                                      {"sheetName0", "String"}};
    auto plus = [](std::vector<Member> a, const std::vector<Member>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    return {
        {"SetTopMostWindow", {{"hwnd", "Long"}, {"Topmost", "Boolean"}}, "Long"},
        {"BuildCell",
         plus(capture, {{"dwgdgn", "String"}, {"QVPath", "String"}, {"fastUpdate0", "Boolean"}}),
         "Boolean"},
        {"DeepUpdate", plus(capture, {{"dwgdgn", "String"}}), "Boolean"},
        {"Populate",
         {{"row10", "Integer"},
          {"row20", "Integer"},
          {"rown0", "Integer"},
          {"col10", "Integer"},
          {"col20", "Integer"},
          {"coln0", "Integer"},
          {"templatePath0", "String"},
          {"outputPath0", "String"},
          {"excelPath0", "String"},
          {"sheetName0", "String"},
          {"dwgdgn", "String"},
          {"QVPath", "String"}},
         "Boolean"},
        {"ParseWord", word, "Boolean"},
        {"UpdateWord", word, "Boolean"},
        {"ExportDGNName", {{"fileFormat0", "String"}}, ""},
        {"MakeBlock", plus(tags, {{"QVPath", "String"}}), "Boolean"},
        {"InsertBlock", tags, "Boolean"},
        {"InsertBlockPop", plus(tags, {{"row", "Integer"}, {"col", "Integer"}}), "Boolean"},
        {"SetLUC", {}, ""},
    };
}

// The members of the vtable interface `info` in order, as "get name", "let name" and
// "name(args) result" lines, and the same for what is expected.
std::vector<std::string> Actual(ITypeInfo* info) {
    std::vector<std::string> out;
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    const WORD count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* f = nullptr;
        info->GetFuncDesc(i, &f);
        BSTR names[32] = {};
        UINT got = 0;
        info->GetNames(f->memid, names, 32, &got);
        std::string line;
        if (f->invkind == INVOKE_PROPERTYGET || f->invkind == INVOKE_PROPERTYPUT) {
            line = std::string(f->invkind == INVOKE_PROPERTYGET ? "get " : "let ") +
                   Narrow(names[0]) + " " + Describe(info, f->lprgelemdescParam[0].tdesc);
        } else {
            line = Narrow(names[0]) + "(";
            std::string result;
            for (SHORT p = 0; p < f->cParams; ++p) {
                const auto& param = f->lprgelemdescParam[p];
                if (param.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
                    result = " As " + Describe(info, param.tdesc);
                    continue;
                }
                const bool byRef =
                    param.tdesc.vt == VT_PTR && (param.paramdesc.wParamFlags & PARAMFLAG_FOUT);
                line += std::string(p ? ", " : "") + (byRef ? "ByRef " : "ByVal ") +
                        (static_cast<UINT>(p + 1) < got ? Narrow(names[p + 1]) : "?") + " As " +
                        Describe(info, param.tdesc);
            }
            line += ")" + result;
        }
        for (UINT n = 0; n < got; ++n) SysFreeString(names[n]);
        info->ReleaseFuncDesc(f);
        out.push_back(line);
    }
    return out;
}

std::vector<std::string> ExpectedRecord(const std::vector<Member>& fields) {
    std::vector<std::string> out;
    for (const auto& f : fields) {
        out.push_back("get " + f.name + " " + f.type);
        out.push_back("let " + f.name + " " + f.type);
    }
    return out;
}

std::vector<std::string> ExpectedApplication() {
    std::vector<std::string> out;
    for (const auto& e : EntryPoints()) {
        std::string line = e.name + "(";
        for (std::size_t i = 0; i < e.arguments.size(); ++i) {
            line += std::string(i ? ", " : "") + "ByRef " + e.arguments[i].name + " As " +
                    e.arguments[i].type;
        }
        out.push_back(line + ")" + (e.result.empty() ? "" : " As " + e.result));
    }
    return out;
}

// The record classes' properties, one "Class field Type" line each.
void WriteFields(const wchar_t* path) {
    FILE* out = _wfopen(path, L"w");
    if (!out) {
        Check(false, "cannot write " + Narrow(path));
        return;
    }
    auto write = [&](const char* className, const std::vector<Member>& fields) {
        for (const auto& f : fields)
            std::fprintf(out, "%s %s %s\n", className, f.name.c_str(), f.type.c_str());
    };
    write("MyCell", Fields<MyCell>());
    write("TagPos", Fields<TagPos>());
    write("JCell", Fields<JCell>());
    write("MyShape", Fields<MyShape>());
    write("WordLine", Fields<WordLine>());
    write("Segment", Fields<Segment>());
    write("MyImage", Fields<MyImage>());
    std::fclose(out);
}

void CompareMembers(const std::string& interfaceName, ITypeInfo* info,
                    const std::vector<std::string>& expected) {
    const auto actual = Actual(info);
    Check(actual.size() == expected.size(), interfaceName + ": " + std::to_string(actual.size()) +
                                                " members, expected " +
                                                std::to_string(expected.size()));
    for (std::size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
        Check(actual[i] == expected[i], interfaceName + " member " + std::to_string(i + 1) +
                                            ": \"" + actual[i] + "\", expected \"" + expected[i] +
                                            "\"");
    }
}

std::vector<std::string> ExpectedMembers(const std::string& className) {
    if (className == "Application") return ExpectedApplication();
    if (className == "MyCell") return ExpectedRecord(Fields<MyCell>());
    if (className == "TagPos") return ExpectedRecord(Fields<TagPos>());
    if (className == "JCell") return ExpectedRecord(Fields<JCell>());
    if (className == "MyShape") return ExpectedRecord(Fields<MyShape>());
    if (className == "WordLine") return ExpectedRecord(Fields<WordLine>());
    if (className == "Segment") return ExpectedRecord(Fields<Segment>());
    return ExpectedRecord(Fields<MyImage>());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 && argc != 3) {
        std::printf("usage: typelib_check PATH\\tbln.dll [FIELDS]\n");
        return 2;
    }
    CoInitialize(nullptr);
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLib(argv[1], &library))) {
        std::printf("FAIL %s has no type library\n", Narrow(argv[1]).c_str());
        return 1;
    }
    TLIBATTR* libAttr = nullptr;
    library->GetLibAttr(&libAttr);
    Check(GuidText(libAttr->guid) == kTypeLibraryId, "library id " + GuidText(libAttr->guid));
    Check(libAttr->wMajorVerNum == kTypeLibraryMajor && libAttr->wMinorVerNum == kTypeLibraryMinor,
          "library version " + std::to_string(libAttr->wMajorVerNum) + "." +
              std::to_string(libAttr->wMinorVerNum));
    Check(libAttr->lcid == kTypeLibraryLocale, "library locale " + std::to_string(libAttr->lcid));
    library->ReleaseTLibAttr(libAttr);
    BSTR libraryName = nullptr;
    library->GetDocumentation(MEMBERID_NIL, &libraryName, nullptr, nullptr, nullptr);
    Check(Narrow(libraryName) == kTypeLibraryName, "library name " + Narrow(libraryName));
    SysFreeString(libraryName);

    // The creatable classes, in the library's order.
    std::size_t next = 0;
    const UINT count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind{};
        library->GetTypeInfoType(i, &kind);
        if (kind != TKIND_COCLASS) continue;
        ITypeInfo* coclass = nullptr;
        library->GetTypeInfo(i, &coclass);
        const std::string name = NameOf(coclass, MEMBERID_NIL);
        TYPEATTR* attr = nullptr;
        coclass->GetTypeAttr(&attr);
        const std::string clsid = GuidText(attr->guid);
        const bool creatable = attr->wTypeFlags & TYPEFLAG_FCANCREATE;
        coclass->ReleaseTypeAttr(attr);
        if (next >= std::size(kClassIdentities)) {
            Check(false, "an extra class " + name);
            coclass->Release();
            continue;
        }
        const ClassIdentity& want = kClassIdentities[next++];
        Check(name == want.className,
              "class " + std::to_string(next) + " is " + name + ", expected " + want.className);
        Check(clsid == want.classId, name + " class id " + clsid);
        Check(creatable, name + " is creatable");
        // The default interface: dual, named and identified as the table says.
        HREFTYPE ref = 0;
        ITypeInfo* dispatch = nullptr;
        INT flags = 0;
        coclass->GetImplTypeFlags(0, &flags);
        Check(flags & IMPLTYPEFLAG_FDEFAULT, name + " has a default interface");
        if (SUCCEEDED(coclass->GetRefTypeOfImplType(0, &ref)) &&
            SUCCEEDED(coclass->GetRefTypeInfo(ref, &dispatch))) {
            TYPEATTR* iattr = nullptr;
            dispatch->GetTypeAttr(&iattr);
            Check(NameOf(dispatch, MEMBERID_NIL) == want.interfaceName,
                  name + " interface " + NameOf(dispatch, MEMBERID_NIL));
            Check(GuidText(iattr->guid) == want.interfaceId,
                  name + " interface id " + GuidText(iattr->guid));
            Check(iattr->wTypeFlags & TYPEFLAG_FDUAL, name + " interface is dual");
            dispatch->ReleaseTypeAttr(iattr);
            HREFTYPE vtableRef = 0;
            ITypeInfo* vtable = nullptr;
            if (SUCCEEDED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef)) &&
                SUCCEEDED(dispatch->GetRefTypeInfo(vtableRef, &vtable))) {
                CompareMembers(want.interfaceName, vtable, ExpectedMembers(name));
                vtable->Release();
            } else {
                Check(false, name + " interface has a vtable part");
            }
            dispatch->Release();
        } else {
            Check(false, name + " default interface readable");
        }
        coclass->Release();
    }
    Check(next == std::size(kClassIdentities), std::to_string(next) + " classes");
    if (argc == 3) WriteFields(argv[2]);
    library->Release();
    std::printf("typelib: %d checks, %d failed\n", g_checks, g_failures);
    return g_failures ? 1 : 0;
}
