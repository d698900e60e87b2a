// The compound file of a legacy workbook rewritten through OLE structured storage, as a
// save writes it: the workbook stream read out of IN and put back, with every other
// stream and storage copied, into OUT.
//   tbln-compound-check IN OUT
#include <cstdio>

#include "adapters/posix/posix_system.hpp"
#include "adapters/win32/wide_text.hpp"
#include "adapters/workbook/xls/compound_file.hpp"
#include "core/error.hpp"

int main() {
    using namespace tbln;
    const auto args = win32::CommandLineArguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: tbln-compound-check IN OUT\n");
        return 64;
    }
    try {
        const auto stream = workbook::ReadWorkbookStream(args[0]);
        posix::WriteFileAtomically(args[1],
                                   workbook::CompoundFileWithWorkbookStream(args[0], stream.bytes));
        return 0;
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "%s\n", e.Description().c_str());
        return 1;
    }
}
