#include "settings/RegFile.h"

#include <array>

#include "text/Ansi.h"
#include "text/Ascii.h"

namespace settings {
namespace {

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";
constexpr std::size_t kExcerptLength = 60;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1]))
        --n;
    return s.substr(0, n);
}

std::string_view Trim(std::string_view s) {
    return TrimRight(TrimLeft(s));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, nothing else.
bool ParseHexNumber(std::string_view digits, std::uint32_t& value) {
    if (digits.empty() || digits.size() > 8)
        return false;
    value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

// A short, printable piece of a line for a problem text.
std::string Excerpt(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < kExcerptLength; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        out.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    }
    if (s.size() > kExcerptLength)
        out += "...";
    return out;
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size())
            return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

// UTF-16LE bytes (a lone last byte is ignored) to ANSI, as the "A" functions hand such text back: one
// byte per character, characters outside the code page as '?', a zero character as a zero byte. Converted
// in chunks so a large file never needs a second full-size copy.
std::string Utf16LeToAnsi(std::string_view bytes) {
    constexpr std::size_t kChunk = 32768;
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    std::string out;
    out.reserve(units);
    std::u16string chunk;
    chunk.reserve(kChunk + 1);
    for (std::size_t i = 0; i < units;) {
        chunk.clear();
        const std::size_t end = units - i > kChunk ? i + kChunk : units;
        while (i < end)
            chunk.push_back(unitAt(i++));
        // Keep a surrogate pair together: it is one character.
        if (i < units && chunk.back() >= 0xD800 && chunk.back() < 0xDC00)
            chunk.push_back(unitAt(i++));
        out += text::EncodeAnsi(chunk);
    }
    return out;
}

unsigned char FoldByte(unsigned char c) {
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) // a-grave .. thorn, not the division sign
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: // s caron
        return 0x8A;
    case 0x9C: // oe
        return 0x8C;
    case 0x9E: // z caron
        return 0x8E;
    case 0xFF: // y diaeresis
        return 0x9F;
    default:
        return c;
    }
}

bool IsLocalMachineHive(std::string_view hive) {
    return text::EqualsIgnoringAsciiCase(hive, "HKEY_LOCAL_MACHINE") ||
           text::EqualsIgnoringAsciiCase(hive, "HKLM");
}

bool IsOtherHive(std::string_view hive) {
    static constexpr std::array<std::string_view, 10> kOthers = {"HKEY_CLASSES_ROOT",
                                                                 "HKEY_CURRENT_USER",
                                                                 "HKEY_USERS",
                                                                 "HKEY_CURRENT_CONFIG",
                                                                 "HKEY_DYN_DATA",
                                                                 "HKEY_PERFORMANCE_DATA",
                                                                 "HKCR",
                                                                 "HKCU",
                                                                 "HKU",
                                                                 "HKCC"};
    for (std::string_view other : kOthers)
        if (text::EqualsIgnoringAsciiCase(hive, other))
            return true;
    return false;
}

class Parser {
public:
    Parser(std::string_view text, const RegFileParseOptions& options, RegFileContents& out)
        : text_(text), options_(options), out_(out) {
        if (options.onlyKey)
            onlyKeyFold_ = FoldRegistryName(TrimKeyPath(*options.onlyKey));
    }

    void Run() {
        std::string_view line;
        if (!NextLine(line)) {
            Problem(1, "the file is empty: it holds no registry export");
            return;
        }
        const std::string_view header = Trim(line);
        if (header == kVersion5Header) {
            out_.format = RegFileContents::Format::Version5;
        } else if (header == kRegedit4Header) {
            out_.format = RegFileContents::Format::Regedit4;
        } else {
            Problem(1, "not a registry export file: the first line must be \"" +
                           std::string(kVersion5Header) + "\" or \"" + std::string(kRegedit4Header) + "\"");
            return;
        }
        while (NextLine(line)) {
            const std::string_view s = TrimLeft(line);
            if (s.empty() || s.front() == ';')
                continue;
            if (s.front() == '[') {
                HandleKeyLine(s);
                continue;
            }
            // Fast path of a lookup: lines outside the wanted key matter only where a key line starts.
            if (!options_.collectProblems && !(section_ == Section::Key && storing_))
                continue;
            if (s.front() == '"' || s.front() == '@')
                HandleValueLine(s);
            else if (section_ != Section::Ignored)
                Problem(lineNo_, "line not understood: " + Excerpt(s));
        }
    }

    std::size_t LinesRead() const { return lineNo_; }

private:
    enum class Section { None, Ignored, Key };

    // The next line, without its terminator (CR LF, LF or a lone CR); false at the end.
    bool NextLine(std::string_view& line) {
        if (pos_ >= text_.size())
            return false;
        const std::size_t end = text_.find_first_of("\r\n", pos_);
        if (end == std::string_view::npos) {
            const std::size_t start = pos_;
            pos_ = text_.size();
            if (options_.inputCut)
                return false;
            line = text_.substr(start);
        } else {
            line = text_.substr(pos_, end - pos_);
            pos_ = end + (text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n' ? 2 : 1);
        }
        ++lineNo_;
        return true;
    }

    // The next line when it continues hex data: not blank and not the start of a key, value or comment.
    bool NextContinuation(std::string_view& line) {
        const std::size_t savedPos = pos_;
        const std::size_t savedLine = lineNo_;
        if (NextLine(line)) {
            const std::string_view s = TrimLeft(line);
            if (!TrimRight(s).empty() && s.front() != '[' && s.front() != '"' && s.front() != '@' &&
                s.front() != ';')
                return true;
        }
        pos_ = savedPos;
        lineNo_ = savedLine;
        return false;
    }

    void Problem(std::size_t line, std::string message) {
        if (!options_.collectProblems)
            return;
        if (out_.problems.size() < options_.maxProblems)
            out_.problems.push_back({line, std::move(message)});
        else
            ++out_.problemsLeftOff;
    }

    void HandleKeyLine(std::string_view s) {
        s = TrimRight(s);
        section_ = Section::Ignored;
        current_ = nullptr;
        if (s.size() < 2 || s.back() != ']') {
            Problem(lineNo_, "key line without a closing \"]\": " + Excerpt(s));
            return;
        }
        std::string_view inner = s.substr(1, s.size() - 2);
        const bool remove = !inner.empty() && inner.front() == '-';
        if (remove)
            inner.remove_prefix(1);
        const std::size_t slash = inner.find('\\');
        const std::string_view hive = inner.substr(0, slash);
        const std::string_view path =
            TrimKeyPath(slash == std::string_view::npos ? std::string_view{} : inner.substr(slash + 1));
        if (!IsLocalMachineHive(hive)) {
            if (!IsOtherHive(hive))
                Problem(lineNo_, "key of an unknown hive: " + Excerpt(inner));
            return; // keys of other hives are not ours: skipped with their values
        }
        if (remove) {
            section_ = Section::None;
            if (path.empty())
                Problem(lineNo_, "the whole HKEY_LOCAL_MACHINE hive cannot be deleted");
            else
                DeleteKeyTree(FoldRegistryName(path));
            return;
        }
        section_ = Section::Key;
        std::string fold = FoldRegistryName(path);
        storing_ = !options_.onlyKey || fold == onlyKeyFold_;
        if (storing_) {
            auto [it, inserted] = out_.keys.try_emplace(std::move(fold));
            if (inserted)
                it->second.path = std::string(path);
            current_ = &it->second;
        }
    }

    void DeleteKeyTree(const std::string& fold) {
        out_.keys.erase(fold);
        const std::string prefix = fold + '\\';
        for (auto it = out_.keys.lower_bound(prefix);
             it != out_.keys.end() && std::string_view(it->first).starts_with(prefix);)
            it = out_.keys.erase(it);
    }

    void HandleValueLine(std::string_view s) {
        const std::size_t startLine = lineNo_;
        // Problems inside another hive's keys are not ours to report; their lines are still consumed.
        reportValue_ = section_ != Section::Ignored;
        std::string name;
        bool remove = false;
        RegValue value;
        if (!ParseValueLine(s, name, remove, value))
            return;
        if (section_ == Section::None) {
            Problem(startLine, "value outside any key: ignored");
            return;
        }
        if (section_ != Section::Key || current_ == nullptr)
            return;
        std::string fold = FoldRegistryName(name);
        if (remove) {
            current_->values.erase(fold);
            return;
        }
        RegFileValue& slot = current_->values[std::move(fold)];
        slot.name = std::move(name);
        slot.value = std::move(value);
    }

    void ValueProblem(std::size_t line, std::string message) {
        if (reportValue_)
            Problem(line, std::move(message));
    }

    // Text between double quotes with the escapes \\ and \" (any other backslash is an ordinary character).
    // i points after the opening quote and ends after the closing one; false when there is none.
    static bool ParseQuoted(std::string_view s, std::size_t& i, std::string& out) {
        while (i < s.size()) {
            const char c = s[i];
            if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
                out.push_back(s[i + 1]);
                i += 2;
            } else if (c == '"') {
                ++i;
                return true;
            } else {
                out.push_back(c);
                ++i;
            }
        }
        return false;
    }

    bool ParseValueLine(std::string_view s, std::string& name, bool& remove, RegValue& value) {
        const std::size_t line = lineNo_;
        std::size_t i = 1;
        if (s.front() == '"' && !ParseQuoted(s, i, name)) {
            ValueProblem(line, "value name without a closing quote: " + Excerpt(s));
            return false;
        }
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        if (i >= s.size() || s[i] != '=') {
            ValueProblem(line, "\"=\" expected after the value name: " + Excerpt(s));
            return false;
        }
        const std::string_view data = TrimLeft(s.substr(i + 1));

        if (!data.empty() && data.front() == '"') {
            std::size_t j = 1;
            std::string textBytes;
            if (!ParseQuoted(data, j, textBytes)) {
                ValueProblem(line, "text without a closing quote: " + Excerpt(s));
                return false;
            }
            if (!Trim(data.substr(j)).empty()) {
                ValueProblem(line, "unexpected text after the closing quote: " + Excerpt(data.substr(j)));
                return false;
            }
            textBytes.push_back('\0');
            value = {kRegSz, std::move(textBytes)};
            return true;
        }
        if (TrimRight(data) == "-") {
            remove = true;
            return true;
        }
        if (text::StartsWithIgnoringAsciiCase(data, "dword:")) {
            std::uint32_t number = 0;
            if (!ParseHexNumber(TrimRight(data.substr(6)), number)) {
                ValueProblem(line, "dword value must be 1 to 8 hex digits: " + Excerpt(data));
                return false;
            }
            std::string bytes(4, '\0');
            for (int k = 0; k < 4; ++k)
                bytes[k] = static_cast<char>((number >> (8 * k)) & 0xFF);
            value = {kRegDword, std::move(bytes)};
            return true;
        }
        if (text::StartsWithIgnoringAsciiCase(data, "hex")) {
            std::string_view rest = data.substr(3);
            std::uint32_t type = kRegBinary;
            bool typeOk = true;
            if (!rest.empty() && rest.front() == '(') {
                const std::size_t close = rest.find(')');
                typeOk = close != std::string_view::npos && ParseHexNumber(rest.substr(1, close - 1), type);
                if (typeOk)
                    rest.remove_prefix(close + 1);
            }
            typeOk = typeOk && !rest.empty() && rest.front() == ':';
            // The data's continuation lines are consumed even when the line is bad, so they are not taken
            // for lines of their own.
            std::string bytes;
            const bool dataOk = ParseHexData(typeOk ? rest.substr(1) : rest, bytes, typeOk);
            if (!typeOk) {
                ValueProblem(line, "value type not understood: " + Excerpt(data));
                return false;
            }
            if (!dataOk)
                return false;
            if (out_.format == RegFileContents::Format::Version5 &&
                (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz))
                bytes = Utf16LeToAnsi(bytes);
            value = {type, std::move(bytes)};
            return true;
        }
        ValueProblem(line, "value type not understood: " + Excerpt(data));
        return false;
    }

    // Comma-separated hex bytes over one or more lines, each but the last ending in "\". With parse false
    // the lines are only consumed (and false is returned).
    bool ParseHexData(std::string_view segment, std::string& out, bool parse) {
        bool ok = true;
        for (;;) {
            segment = TrimRight(segment);
            const bool continues = !segment.empty() && segment.back() == '\\';
            if (continues)
                segment.remove_suffix(1);
            if (ok && parse && !AppendHexBytes(segment, out)) {
                ok = false;
                ValueProblem(lineNo_, "hex data not understood: " + Excerpt(Trim(segment)));
            }
            if (!continues)
                break;
            std::string_view next;
            if (!NextContinuation(next)) {
                if (ok && parse)
                    ValueProblem(lineNo_,
                                 "hex data cut off: the line ends in \"\\\" but no continuation follows");
                return false;
            }
            segment = next;
        }
        return ok && parse;
    }

    // Items of one or two hex digits between commas; an empty item only after a final comma.
    static bool AppendHexBytes(std::string_view segment, std::string& out) {
        if (Trim(segment).empty())
            return true;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = segment.find(',', start);
            const std::string_view item = Trim(segment.substr(
                start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
            if (item.empty())
                return comma == std::string_view::npos && start > 0; // "00," is fine, "00,,01" and "," not
            if (item.size() > 2)
                return false;
            const int high = item.size() == 2 ? HexDigit(item[0]) : 0;
            const int low = HexDigit(item.back());
            if (high < 0 || low < 0)
                return false;
            out.push_back(static_cast<char>(high * 16 + low));
            if (comma == std::string_view::npos)
                return true;
            start = comma + 1;
        }
    }

    std::string_view text_;
    const RegFileParseOptions& options_;
    RegFileContents& out_;
    std::string onlyKeyFold_;
    std::size_t pos_ = 0;
    std::size_t lineNo_ = 0;
    Section section_ = Section::None;
    bool storing_ = false;
    bool reportValue_ = true;
    RegFileKey* current_ = nullptr;
};

} // namespace

std::string FoldRegistryName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = static_cast<char>(FoldByte(static_cast<unsigned char>(c)));
    return out;
}

std::string_view TrimKeyPath(std::string_view keyPath) {
    while (!keyPath.empty() && keyPath.back() == '\\')
        keyPath.remove_suffix(1);
    return keyPath;
}

const RegValue* RegFileContents::Find(std::string_view keyPath, std::string_view valueName) const {
    const auto key = keys.find(FoldRegistryName(TrimKeyPath(keyPath)));
    if (key == keys.end())
        return nullptr;
    const auto value = key->second.values.find(FoldRegistryName(valueName));
    return value == key->second.values.end() ? nullptr : &value->second.value;
}

RegFileContents ParseRegFile(std::string_view bytes, const RegFileParseOptions& options) {
    RegFileContents contents;
    std::string decoded;
    std::string_view textView = bytes;
    bool oddUtf16 = false;

    if (bytes.starts_with("\xFE\xFF")) {
        if (options.collectProblems)
            contents.problems.push_back(
                {0, "UTF-16 big-endian text is not read: save the file as UTF-16 little-endian or ANSI"});
        return contents;
    }
    const bool bom16 = bytes.starts_with("\xFF\xFE");
    // UTF-16LE without its byte order mark: the first character is ASCII, so its second byte is zero.
    const bool bomless16 = !bom16 && bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0';
    if (bom16 || bomless16) {
        const std::string_view units = bom16 ? bytes.substr(2) : bytes;
        oddUtf16 = units.size() % 2 != 0;
        decoded = Utf16LeToAnsi(units);
        textView = decoded;
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        decoded = text::Utf8ToAnsi(bytes.substr(3));
        textView = decoded;
    } else if (Trim(bytes.substr(0, bytes.find_first_of("\r\n"))) == kVersion5Header && IsValidUtf8(bytes)) {
        // Version 5 written as 8-bit text: UTF-8 when it reads as UTF-8 (plain ASCII reads the same either
        // way), else the ANSI code page. REGEDIT4 files are ANSI and taken as stored.
        decoded = text::Utf8ToAnsi(bytes);
        textView = decoded;
    }

    Parser parser(textView, options, contents);
    parser.Run();
    if (oddUtf16 && options.collectProblems) {
        const std::size_t line = parser.LinesRead() == 0 ? 1 : parser.LinesRead();
        if (contents.problems.size() < options.maxProblems)
            contents.problems.push_back(
                {line, "UTF-16 text with an odd number of bytes: the last byte was ignored"});
        else
            ++contents.problemsLeftOff;
    }
    return contents;
}

} // namespace settings
