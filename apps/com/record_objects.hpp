// The record classes and the string collection as automation objects. A record object
// refers to the core's record (the same one the library's arrays hold), so what a macro
// writes through a let accessor is what the library reads, and the other way round.
#pragma once

#include "apps/com/win.hpp"

#include <memory>

#include "automation/records.hpp"
#include "core/collection.hpp"

namespace tbln::com {

// A new automation object over the record (Nothing for nullptr), with one reference.
IDispatch* Wrap(const std::shared_ptr<MyCell>& record);
IDispatch* Wrap(const std::shared_ptr<JCell>& record);
IDispatch* Wrap(const std::shared_ptr<MyShape>& record);
IDispatch* Wrap(const std::shared_ptr<MyImage>& record);
IDispatch* Wrap(const std::shared_ptr<WordLine>& record);
IDispatch* Wrap(const std::shared_ptr<Segment>& record);
IDispatch* Wrap(const std::shared_ptr<TagPos>& record);

// The core's record behind an object of this server (nullptr for Nothing); false when
// the object is not one of this server's records of that class.
bool Unwrap(IUnknown* object, std::shared_ptr<MyCell>& record);
bool Unwrap(IUnknown* object, std::shared_ptr<JCell>& record);
bool Unwrap(IUnknown* object, std::shared_ptr<MyShape>& record);
bool Unwrap(IUnknown* object, std::shared_ptr<MyImage>& record);
bool Unwrap(IUnknown* object, std::shared_ptr<WordLine>& record);
bool Unwrap(IUnknown* object, std::shared_ptr<Segment>& record);
bool Unwrap(IUnknown* object, std::shared_ptr<TagPos>& record);

// The collection object over the core's collection, with one reference.
IDispatch* WrapCollection(const std::shared_ptr<Collection>& collection);
// The core's collection behind an object of this server (nullptr for Nothing); false
// for any other object.
bool UnwrapCollection(IUnknown* object, std::shared_ptr<Collection>& collection);

// Creates a new object of the class `clsid` (a fresh record, or a collection).
HRESULT CreateRecord(REFCLSID clsid, REFIID iid, void** out);

}  // namespace tbln::com
