// Guard: the body of every interface member. A run-time error of the core, or the
// reader missing from the installation, reaches the macro as an automation error with
// its number and description; nothing else is caught but std::bad_alloc, which is
// reported as the automation's out-of-memory result rather than unwinding into the
// caller's process.
#pragma once

#include <new>

#include "apps/lib/tbln.hpp"
#include "core/error.hpp"

namespace tbln::com {

template <class Body>
HRESULT Guard(Body&& body) {
    try {
        body();
        return S_OK;
    } catch (const RuntimeError& e) {
        return ReportError(e.Number(), e.Description());
    } catch (const ReaderMissing& e) {
        return ReportError(err::kFileNotFound, e.what());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace tbln::com
