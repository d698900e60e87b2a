// tbln word-lines --file DOC: the document engine's own lines of DOC (plain text, page,
// position, list string, the page size of the line's section), for comparing our layout
// with other word processors and placing the lines of every section.
#include "adapters/document/embedded_word.hpp"
#include "apps/host/host.hpp"

namespace tbln::host {

nlohmann::ordered_json WordLinesCommand(Host& host, const Options& options) {
    auto app = document::CreateEmbeddedWord(host.ui);
    auto doc = app->Documents()->Open(options.Get("file"));
    auto selection = app->Selection();
    const Long end = doc->Content()->End();
    auto lines = nlohmann::ordered_json::array();
    selection->HomeKey(word::wdStory, word::wdMove);
    Long previous = -1;
    for (;;) {
        // The insertion point at the line's start tells the line's own page.
        const double page = selection->Information(word::wdActiveEndPageNumber);
        doc->Bookmarks("\\LINE")->Select();
        const Long start = selection->Start();
        if (start <= previous) break;
        previous = start;
        lines.push_back({{"text", selection->Text()},
                         {"page", page},
                         {"x", selection->Information(word::wdHorizontalPositionRelativeToPage)},
                         {"y", selection->Information(word::wdVerticalPositionRelativeToPage)},
                         {"listString", selection->Range()->ListFormat()->ListString()},
                         // The page of the line's own section: a later section may turn it.
                         {"pageWidth", selection->PageSetup()->PageWidth()},
                         {"pageHeight", selection->PageSetup()->PageHeight()},
                         {"start", start},
                         {"end", selection->End()}});
        if (selection->End() >= end - 1) break;
        selection->MoveRight(word::wdCharacter, 1, word::wdMove);
    }
    return {{"file", options.Get("file")},
            {"pageWidth", doc->PageSetup()->PageWidth()},
            {"pageHeight", doc->PageSetup()->PageHeight()},
            {"lines", lines}};
}

}  // namespace tbln::host
