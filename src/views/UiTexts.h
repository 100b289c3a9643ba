#pragma once

// The 55 fixed interface texts of the panels, indexed from 0. Narrow strings are UTF-8.
// Free of Qt, so any thread and any module may build it.

#include <array>
#include <string>

namespace views {

class UiTexts
{
public:
    static constexpr int Count = 55;

    UiTexts();

    // The entry at index; an empty text for an index outside 0..54. Entry 2 is empty.
    const std::string& At(int index) const;
    const std::string& operator[](int index) const { return At(index); }

private:
    std::array<std::string, Count> m_texts;
};

} // namespace views
