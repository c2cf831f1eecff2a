#include "form/Export.h"

#include "text/Ansi.h"

namespace form {

std::string CsvText(std::string_view ansi) {
    std::string utf8 = text::AnsiToUtf8(ansi);
    if (!utf8.empty() && std::string_view("=+-@\t\r").find(utf8.front()) != std::string_view::npos)
        utf8.insert(utf8.begin(), '\'');
    const bool quote = utf8.find_first_of(",\"\r\n") != std::string::npos ||
                       (!utf8.empty() && (utf8.front() == ' ' || utf8.back() == ' '));
    if (!quote)
        return utf8;
    std::string field;
    field.reserve(utf8.size() + 2);
    field.push_back('"');
    for (const char c : utf8) {
        if (c == '"')
            field.push_back('"');
        field.push_back(c);
    }
    field.push_back('"');
    return field;
}

std::string CsvRow(const std::vector<std::string>& fields) {
    std::string row;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            row.push_back(',');
        row.append(fields[i]);
    }
    row.append("\r\n");
    return row;
}

std::string EventsCsv(const std::vector<std::string>& strings, const std::vector<std::string>& links,
                      const std::vector<std::string>& descriptions, const std::vector<std::int32_t>& counts) {
    const auto at = [](const std::vector<std::string>& column, std::size_t i) {
        return i < column.size() ? std::string_view(column[i]) : std::string_view();
    };
    std::string csv = CsvRow({"index", "count", "search", "link", "explanation"});
    for (std::size_t i = 0; i < strings.size() && i < counts.size(); ++i) {
        if (counts[i] <= 0)
            continue;
        csv.append(CsvRow({std::to_string(i), std::to_string(counts[i]), CsvText(strings[i]),
                           CsvText(at(links, i)), CsvText(at(descriptions, i))}));
    }
    return csv;
}

std::string EventsCsv(const catalogue::Catalogue& entries, const std::vector<std::int32_t>& counts) {
    return EventsCsv(entries.strings, entries.links, entries.descriptions, counts);
}

} // namespace form
