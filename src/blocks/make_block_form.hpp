// MakeBlockForm, the Link Block dialog: binds each attribute tag of a block to a cell
// of a sheet and stores its offset from the block's Block ID cell.
#pragma once

#include "blocks/block_dialog.hpp"

namespace tbln {

class MakeBlockForm : public BlockDialog {
  public:
    explicit MakeBlockForm(Module& m);

    // Binds the selected tag to Excel's active cell.
    ui::CommandButton btnUpdate{*this, "btnUpdate"};

    void Form_Load() override;
    void btnUpdate1_Click();
    void btnUpdate_Click();
    void btnMake_Click();
};

}  // namespace tbln
