// InsertBlockForm, the Insert Block dialog: reads a linked block's attribute values
// from the cells at the tags' offsets from a Block ID cell the user picks in Excel.
#pragma once

#include "blocks/block_dialog.hpp"

namespace tbln {

class InsertBlockForm : public BlockDialog {
  public:
    explicit InsertBlockForm(Module& m);

    void Form_Load() override;
    // Takes the Block ID cell from Excel's active cell and looks up every tag's value.
    void btnUpdate1_Click();
    void btnMake_Click();

  private:
    // The Block ID does not fit the link: the message, and every box and record emptied.
    void Inconsistent(const std::string& message);
};

// The message shown when a tag's cell would lie above row 1 or left of column A.
extern const char* const kInconsistentBlockIdMessage;

}  // namespace tbln
