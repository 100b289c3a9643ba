#include "platform/DateText.h"

#include <cstddef>
#include <limits>

namespace platform {
namespace {

bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

class Scanner
{
public:
    explicit Scanner(std::string_view text)
        : m_text(text)
    {}

    bool Number(int& value)
    {
        SkipSpace();
        bool negative = false;
        if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-')) {
            negative = m_text[m_pos] == '-';
            ++m_pos;
        }
        const std::size_t first = m_pos;
        long long v = 0;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
            v = v * 10 + (m_text[m_pos] - '0');
            if (v > std::numeric_limits<int>::max()) {
                return false;
            }
            ++m_pos;
        }
        if (m_pos == first) {
            return false;
        }
        value = static_cast<int>(negative ? -v : v);
        return true;
    }

    bool Literal(char c)
    {
        if (c == ' ') {
            SkipSpace();
            return true;
        }
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

private:
    void SkipSpace()
    {
        while (m_pos < m_text.size() && IsSpace(m_text[m_pos])) {
            ++m_pos;
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace

std::optional<DateFields> ScanDateText(std::string_view text)
{
    Scanner scan(text);
    DateFields fields{};
    const char separators[] = {'-', '-', ' ', ':', ':'};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0 && !scan.Literal(separators[i - 1])) {
            return std::nullopt;
        }
        if (!scan.Number(fields[i])) {
            return std::nullopt;
        }
    }
    return fields;
}

} // namespace platform
