#include "core/a1.hpp"

namespace tbln::a1 {

std::string ColumnLetters(long col) {
    std::string letters;
    for (long c = col; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters;
}

}  // namespace tbln::a1
