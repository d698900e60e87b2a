#include "workbook/save_interrupt_seam.hpp"

#include "adapters/workbook/save.hpp"

namespace tbln {

namespace {
std::function<bool(double)>& Interrupt() {
    static std::function<bool(double)> interrupt;
    return interrupt;
}
}  // namespace

void testing::SetSaveInterrupt(std::function<bool(double)> interrupt) {
    Interrupt() = std::move(interrupt);
}

bool workbook::SaveInterrupted(double fraction) {
    return Interrupt() && Interrupt()(fraction);
}

bool workbook::SaveInterruptible() {
    return static_cast<bool>(Interrupt());
}

}  // namespace tbln
