#include "catalogue/Strings.h"

#include <limits>
#include <new>

namespace catalogue {

std::optional<std::string> SplitField(std::string_view text, std::string_view delimiter, int field) {
    if (field < 1 || text.empty())
        return std::nullopt;
    try {
        if (delimiter.empty())
            return field == 1 ? std::optional<std::string>(std::string(text)) : std::nullopt;
        std::size_t start = 0;
        for (int piece = 1;; ++piece) {
            const std::size_t end = text.find(delimiter, start);
            if (piece == field)
                return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
            if (end == std::string_view::npos)
                return std::nullopt;
            start = end + delimiter.size();
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::string SplitFieldText(std::string_view text, std::string_view delimiter, int field) {
    auto piece = SplitField(text, delimiter, field);
    return piece ? std::move(*piece) : std::string();
}

std::int32_t SplitFieldNumber(std::string_view text, std::string_view delimiter, int field) {
    const auto piece = SplitField(text, delimiter, field);
    if (!piece || piece->empty())
        return 0;
    std::int64_t value = 0;
    for (const char c : *piece) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max())
            return 0;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace catalogue
