#include "apps/com/record_objects.hpp"

#include <string>
#include <vector>

#include "apps/com/com_values.hpp"
#include "apps/com/dispatch.hpp"
#include "tbln_h.h"

namespace tbln::com {

namespace {

// Asked of an object to learn whether it is one of this server's own (records and the
// collection); answered with the object itself.
// {3C1A57F0-6E0B-4C59-9D0D-0A8E5B7E4C21}
const IID kOwnObject = {
    0x3c1a57f0, 0x6e0b, 0x4c59, {0x9d, 0x0d, 0x0a, 0x8e, 0x5b, 0x7e, 0x4c, 0x21}};

// A record object: the dual interface `Iface` over a record of class R.
template <class R, class Iface>
class RecordObject : public Dispatch<Iface> {
  public:
    RecordObject(const IID& iid, std::shared_ptr<R> record)
        : Dispatch<Iface>(iid), record_(std::move(record)) {}
    const std::shared_ptr<R>& Record() const { return record_; }

  protected:
    void* Own(REFIID riid) override { return riid == kOwnObject ? this : nullptr; }

    template <class F, class C>
    HRESULT Get(F R::*field, C* out) {
        if (!out) return E_POINTER;
        return Guard([&] { *out = ToCom((*record_).*field); });
    }
    template <class F, class C>
    HRESULT Put(F R::*field, C in) {
        return Guard([&] { FromCom(in, (*record_).*field); });
    }

  private:
    std::shared_ptr<R> record_;
};

// Each record field as a get and a let accessor of the interface.
#define TBLN_PROPERTY(ComType, name)                              \
    HRESULT STDMETHODCALLTYPE get_##name(ComType* out) override { \
        return Get(&Fields::name, out);                           \
    }                                                             \
    HRESULT STDMETHODCALLTYPE put_##name(ComType in) override {   \
        return Put(&Fields::name, in);                            \
    }

class MyCellObject : public RecordObject<MyCell, _MyCell> {
  public:
    using Fields = MyCell;
    explicit MyCellObject(std::shared_ptr<MyCell> r) : RecordObject(IID__MyCell, std::move(r)) {}
    TBLN_PROPERTY(SHORT, row)
    TBLN_PROPERTY(SHORT, col)
    TBLN_PROPERTY(FLOAT, rowHeight)
    TBLN_PROPERTY(FLOAT, colWidth)
    TBLN_PROPERTY(FLOAT, charNum)
    TBLN_PROPERTY(FLOAT, mergedRowHeight)
    TBLN_PROPERTY(FLOAT, mergedColWidth)
    TBLN_PROPERTY(FLOAT, mergedCharNum)
    TBLN_PROPERTY(FLOAT, deltaX)
    TBLN_PROPERTY(FLOAT, deltaY)
    TBLN_PROPERTY(BSTR, Value)
    TBLN_PROPERTY(BSTR, FontName)
    TBLN_PROPERTY(FLOAT, fontsize)
    TBLN_PROPERTY(DOUBLE, fontOrient)
    TBLN_PROPERTY(VARIANT_BOOL, fontBold)
    TBLN_PROPERTY(VARIANT_BOOL, fontItalic)
    TBLN_PROPERTY(VARIANT_BOOL, fontUnderline)
    TBLN_PROPERTY(SHORT, fontLineWeight)
    TBLN_PROPERTY(BSTR, fontColorIndex)
    TBLN_PROPERTY(BSTR, horAlign)
    TBLN_PROPERTY(BSTR, verAlign)
    TBLN_PROPERTY(BSTR, bgColor)
    TBLN_PROPERTY(BSTR, pattern)
    TBLN_PROPERTY(VARIANT_BOOL, isWrapCell)
    TBLN_PROPERTY(SHORT, bdUp)
    TBLN_PROPERTY(BSTR, bdUpWeight)
    TBLN_PROPERTY(BSTR, bdUpLT)
    TBLN_PROPERTY(SHORT, bdBottom)
    TBLN_PROPERTY(BSTR, bdBottomWeight)
    TBLN_PROPERTY(BSTR, bdBottomLT)
    TBLN_PROPERTY(SHORT, bdLeft)
    TBLN_PROPERTY(BSTR, bdLeftWeight)
    TBLN_PROPERTY(BSTR, bdLeftLT)
    TBLN_PROPERTY(SHORT, bdRight)
    TBLN_PROPERTY(BSTR, bdRightWeight)
    TBLN_PROPERTY(BSTR, bdRightLT)
    TBLN_PROPERTY(VARIANT_BOOL, isMerged)
    TBLN_PROPERTY(SHORT, rowTo)
    TBLN_PROPERTY(SHORT, colTo)
    TBLN_PROPERTY(SHORT, rowFrom)
    TBLN_PROPERTY(SHORT, colFrom)
    TBLN_PROPERTY(VARIANT_BOOL, hidden)
    TBLN_PROPERTY(VARIANT_BOOL, storeDone)
    TBLN_PROPERTY(VARIANT_BOOL, drawDone)
};

class JCellObject : public RecordObject<JCell, _JCell> {
  public:
    using Fields = JCell;
    explicit JCellObject(std::shared_ptr<JCell> r) : RecordObject(IID__JCell, std::move(r)) {}
    TBLN_PROPERTY(VARIANT_BOOL, MergeCells)
    TBLN_PROPERTY(SHORT, startRow)
    TBLN_PROPERTY(SHORT, startCol)
    TBLN_PROPERTY(SHORT, endRow)
    TBLN_PROPERTY(SHORT, endCol)
    TBLN_PROPERTY(FLOAT, height)
    TBLN_PROPERTY(FLOAT, width)
    TBLN_PROPERTY(SHORT, row)
    TBLN_PROPERTY(SHORT, column)
    TBLN_PROPERTY(SHORT, HorizontalAlignment)
    TBLN_PROPERTY(SHORT, VerticalAlignment)
    TBLN_PROPERTY(BSTR, text)
    TBLN_PROPERTY(BSTR, FontName)
    TBLN_PROPERTY(SHORT, fontsize)
    TBLN_PROPERTY(VARIANT_BOOL, fontUnderline)
    TBLN_PROPERTY(VARIANT_BOOL, fontItalic)
    TBLN_PROPERTY(VARIANT_BOOL, fontBold)
    TBLN_PROPERTY(VARIANT_BOOL, WrapText)
    TBLN_PROPERTY(VARIANT_BOOL, IsNumeric)
    TBLN_PROPERTY(VARIANT_BOOL, IsEmpty)
    TBLN_PROPERTY(SHORT, Orientation)
    TBLN_PROPERTY(BSTR, bdUp)
    TBLN_PROPERTY(BSTR, bdBottom)
    TBLN_PROPERTY(BSTR, bdLeft)
    TBLN_PROPERTY(BSTR, bdRight)
    TBLN_PROPERTY(BSTR, bgColor)
    TBLN_PROPERTY(BSTR, pattern)
};

class MyShapeObject : public RecordObject<MyShape, _MyShape> {
  public:
    using Fields = MyShape;
    explicit MyShapeObject(std::shared_ptr<MyShape> r) : RecordObject(IID__MyShape, std::move(r)) {}
    TBLN_PROPERTY(FLOAT, top)
    TBLN_PROPERTY(FLOAT, left)
    TBLN_PROPERTY(FLOAT, height)
    TBLN_PROPERTY(FLOAT, width)
    TBLN_PROPERTY(SHORT, slope)
    TBLN_PROPERTY(SHORT, rotation)
    TBLN_PROPERTY(FLOAT, startX)
    TBLN_PROPERTY(FLOAT, startY)
    TBLN_PROPERTY(FLOAT, endX)
    TBLN_PROPERTY(FLOAT, endY)
    TBLN_PROPERTY(LONG, TLRow)
    TBLN_PROPERTY(LONG, TLCol)
    TBLN_PROPERTY(SHORT, shapeType)
    TBLN_PROPERTY(SHORT, autoShapeType)
    TBLN_PROPERTY(BSTR, text)
    TBLN_PROPERTY(FLOAT, fontsize)
    TBLN_PROPERTY(BSTR, FontName)
    TBLN_PROPERTY(SHORT, lineType)
    TBLN_PROPERTY(FLOAT, lineWei)
    TBLN_PROPERTY(VARIANT_BOOL, fill)
    TBLN_PROPERTY(SHORT, hor)
    TBLN_PROPERTY(SHORT, ver)
    TBLN_PROPERTY(SHORT, beginStyle)
    TBLN_PROPERTY(SHORT, beginSize)
    TBLN_PROPERTY(SHORT, endStyle)
    TBLN_PROPERTY(SHORT, endSize)
    TBLN_PROPERTY(DOUBLE, cnrRadius)
};

class MyImageObject : public RecordObject<MyImage, _MyImage> {
  public:
    using Fields = MyImage;
    explicit MyImageObject(std::shared_ptr<MyImage> r) : RecordObject(IID__MyImage, std::move(r)) {}
    TBLN_PROPERTY(BSTR, name)
    TBLN_PROPERTY(FLOAT, top)
    TBLN_PROPERTY(FLOAT, left)
    TBLN_PROPERTY(FLOAT, height)
    TBLN_PROPERTY(FLOAT, width)
    TBLN_PROPERTY(LONG, TLRow)
    TBLN_PROPERTY(LONG, TLCol)
};

class WordLineObject : public RecordObject<WordLine, _WordLine> {
  public:
    using Fields = WordLine;
    explicit WordLineObject(std::shared_ptr<WordLine> r)
        : RecordObject(IID__WordLine, std::move(r)) {}
    TBLN_PROPERTY(BSTR, text)
    TBLN_PROPERTY(FLOAT, fontsize)
    TBLN_PROPERTY(BSTR, FontName)
    TBLN_PROPERTY(DOUBLE, x)
    TBLN_PROPERTY(DOUBLE, y)
    TBLN_PROPERTY(SHORT, listType)
    TBLN_PROPERTY(BSTR, listString)
    TBLN_PROPERTY(LONG, bulletType)
    TBLN_PROPERTY(SHORT, pageNum)
    TBLN_PROPERTY(FLOAT, charLen)
    TBLN_PROPERTY(VARIANT_BOOL, justify)
    TBLN_PROPERTY(VARIANT_BOOL, bold)
    TBLN_PROPERTY(VARIANT_BOOL, underline)
    TBLN_PROPERTY(VARIANT_BOOL, italic)
    TBLN_PROPERTY(VARIANT_BOOL, simple)
    TBLN_PROPERTY(VARIANT_BOOL, newLine)
    TBLN_PROPERTY(BSTR, linefmt)
    TBLN_PROPERTY(BSTR, actual)
};

class SegmentObject : public RecordObject<Segment, _Segment> {
  public:
    using Fields = Segment;
    explicit SegmentObject(std::shared_ptr<Segment> r) : RecordObject(IID__Segment, std::move(r)) {}
    TBLN_PROPERTY(BSTR, text)
    TBLN_PROPERTY(BSTR, font)
    TBLN_PROPERTY(VARIANT_BOOL, bold)
    TBLN_PROPERTY(VARIANT_BOOL, italic)
    TBLN_PROPERTY(LONG, underline)
    TBLN_PROPERTY(LONG, fontsize)
    TBLN_PROPERTY(LONG, scriptstate)
};

class TagPosObject : public RecordObject<TagPos, _TagPos> {
  public:
    using Fields = TagPos;
    explicit TagPosObject(std::shared_ptr<TagPos> r) : RecordObject(IID__TagPos, std::move(r)) {}
    TBLN_PROPERTY(BSTR, tagName)
    TBLN_PROPERTY(BSTR, Value)
    TBLN_PROPERTY(BSTR, row)
    TBLN_PROPERTY(BSTR, col)
    TBLN_PROPERTY(SHORT, offsetRow)
    TBLN_PROPERTY(SHORT, offsetCol)
};

#undef TBLN_PROPERTY

template <class Object, class R>
IDispatch* WrapAs(const std::shared_ptr<R>& record) {
    if (!record) return nullptr;
    return new Object(record);
}

template <class Object, class R>
bool UnwrapAs(IUnknown* object, const IID& iid, std::shared_ptr<R>& record) {
    record.reset();
    if (!object) return true;
    IUnknown* typed = nullptr;
    if (FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&typed)))) return false;
    typed->Release();
    void* own = nullptr;
    if (FAILED(object->QueryInterface(kOwnObject, &own))) return false;
    auto* self = static_cast<Object*>(own);
    record = self->Record();
    self->Release();
    return true;
}

// A snapshot of the collection's strings, enumerated by For Each.
class StringEnumerator : public IEnumVARIANT {
  public:
    StringEnumerator(std::vector<std::string> items, std::size_t next)
        : items_(std::move(items)), next_(next) {
        ++g_objects;
    }
    virtual ~StringEnumerator() { --g_objects; }
    StringEnumerator(const StringEnumerator&) = delete;
    StringEnumerator& operator=(const StringEnumerator&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid != IID_IUnknown && riid != IID_IEnumVARIANT) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IEnumVARIANT*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        if (!out) return E_POINTER;
        ULONG n = 0;
        for (; n < count && next_ < items_.size(); ++n, ++next_) {
            VariantInit(&out[n]);
            out[n].vt = VT_BSTR;
            out[n].bstrVal = ToBstr(items_[next_]);
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const std::size_t left = items_.size() - next_;
        next_ += std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
        if (!out) return E_POINTER;
        *out = new StringEnumerator(items_, next_);
        return S_OK;
    }

  private:
    std::vector<std::string> items_;
    std::size_t next_;
    std::atomic<ULONG> refs_{1};
};

// The collection: items are strings, Item takes a 1-based position or a key.
class CollectionObject : public Dispatch<_Collection> {
  public:
    explicit CollectionObject(std::shared_ptr<Collection> c)
        : Dispatch(IID__Collection), collection_(std::move(c)) {}
    const std::shared_ptr<Collection>& Record() const { return collection_; }

    HRESULT STDMETHODCALLTYPE Item(VARIANT* index, VARIANT* out) override {
        if (!index || !out) return E_POINTER;
        return Guard([&] {
            // A text is a key; anything else a 1-based position.
            const VARIANT* v = index;
            while (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
            const VARTYPE wanted = (v->vt & ~VT_BYREF) == VT_BSTR ? VT_BSTR : VT_I4;
            VARIANT given;
            VariantInit(&given);
            if (FAILED(CoerceArgument(*v, wanted, given))) Raise(err::kTypeMismatch);
            std::string item;
            if (wanted == VT_BSTR) {
                const std::string key = FromBstr(given.bstrVal);
                VariantClear(&given);
                item = collection_->Item(std::string_view(key));
            } else {
                item = collection_->Item(static_cast<Long>(given.lVal));
            }
            VariantInit(out);
            out->vt = VT_BSTR;
            out->bstrVal = ToBstr(item);
        });
    }
    HRESULT STDMETHODCALLTYPE Add(VARIANT* item, VARIANT* key) override {
        if (!item) return E_POINTER;
        return Guard([&] {
            VARIANT text, name;
            VariantInit(&text);
            VariantInit(&name);
            if (FAILED(CoerceArgument(*item, VT_BSTR, text))) Raise(err::kTypeMismatch);
            std::optional<std::string> keyText;
            if (key && !(key->vt == VT_ERROR && key->scode == DISP_E_PARAMNOTFOUND)) {
                if (FAILED(CoerceArgument(*key, VT_BSTR, name))) {
                    VariantClear(&text);
                    Raise(err::kTypeMismatch);
                }
                keyText = FromBstr(name.bstrVal);
                VariantClear(&name);
            }
            std::string value = FromBstr(text.bstrVal);
            VariantClear(&text);
            collection_->Add(std::move(value), std::move(keyText));
        });
    }
    HRESULT STDMETHODCALLTYPE Count(LONG* out) override {
        if (!out) return E_POINTER;
        *out = collection_->Count();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown** out) override {
        if (!out) return E_POINTER;
        *out = new StringEnumerator({collection_->begin(), collection_->end()}, 0);
        return S_OK;
    }

  protected:
    void* Own(REFIID riid) override { return riid == kOwnObject ? this : nullptr; }

  private:
    std::shared_ptr<Collection> collection_;
};

}  // namespace

IDispatch* Wrap(const std::shared_ptr<MyCell>& record) {
    return WrapAs<MyCellObject>(record);
}
bool Unwrap(IUnknown* object, std::shared_ptr<MyCell>& record) {
    return UnwrapAs<MyCellObject>(object, IID__MyCell, record);
}
IDispatch* Wrap(const std::shared_ptr<JCell>& record) {
    return WrapAs<JCellObject>(record);
}
bool Unwrap(IUnknown* object, std::shared_ptr<JCell>& record) {
    return UnwrapAs<JCellObject>(object, IID__JCell, record);
}
IDispatch* Wrap(const std::shared_ptr<MyShape>& record) {
    return WrapAs<MyShapeObject>(record);
}
bool Unwrap(IUnknown* object, std::shared_ptr<MyShape>& record) {
    return UnwrapAs<MyShapeObject>(object, IID__MyShape, record);
}
IDispatch* Wrap(const std::shared_ptr<MyImage>& record) {
    return WrapAs<MyImageObject>(record);
}
bool Unwrap(IUnknown* object, std::shared_ptr<MyImage>& record) {
    return UnwrapAs<MyImageObject>(object, IID__MyImage, record);
}
IDispatch* Wrap(const std::shared_ptr<WordLine>& record) {
    return WrapAs<WordLineObject>(record);
}
bool Unwrap(IUnknown* object, std::shared_ptr<WordLine>& record) {
    return UnwrapAs<WordLineObject>(object, IID__WordLine, record);
}
IDispatch* Wrap(const std::shared_ptr<Segment>& record) {
    return WrapAs<SegmentObject>(record);
}
bool Unwrap(IUnknown* object, std::shared_ptr<Segment>& record) {
    return UnwrapAs<SegmentObject>(object, IID__Segment, record);
}
IDispatch* Wrap(const std::shared_ptr<TagPos>& record) {
    return WrapAs<TagPosObject>(record);
}
bool Unwrap(IUnknown* object, std::shared_ptr<TagPos>& record) {
    return UnwrapAs<TagPosObject>(object, IID__TagPos, record);
}

IDispatch* WrapCollection(const std::shared_ptr<Collection>& collection) {
    if (!collection) return nullptr;
    return new CollectionObject(collection);
}

bool UnwrapCollection(IUnknown* object, std::shared_ptr<Collection>& collection) {
    return UnwrapAs<CollectionObject>(object, IID__Collection, collection);
}

HRESULT CreateRecord(REFCLSID clsid, REFIID iid, void** out) {
    IDispatch* made = nullptr;
    if (clsid == CLSID_MyCell)
        made = Wrap(std::make_shared<MyCell>());
    else if (clsid == CLSID_JCell)
        made = Wrap(std::make_shared<JCell>());
    else if (clsid == CLSID_MyShape)
        made = Wrap(std::make_shared<MyShape>());
    else if (clsid == CLSID_MyImage)
        made = Wrap(std::make_shared<MyImage>());
    else if (clsid == CLSID_WordLine)
        made = Wrap(std::make_shared<WordLine>());
    else if (clsid == CLSID_Segment)
        made = Wrap(std::make_shared<Segment>());
    else if (clsid == CLSID_TagPos)
        made = Wrap(std::make_shared<TagPos>());
    else
        return CLASS_E_CLASSNOTAVAILABLE;
    const HRESULT hr = made->QueryInterface(iid, out);
    made->Release();
    return hr;
}

}  // namespace tbln::com
