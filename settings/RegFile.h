// Reader of registry export files ("Windows Registry Editor Version 5.00" in UTF-16LE or as 8-bit text, and
// "REGEDIT4" in ANSI): the keys of HKEY_LOCAL_MACHINE with each value's type and the bytes RegQueryValueExA
// would hand back, plus the lines that could not be read. Pure: bytes in, contents out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/RegistryBackend.h"

namespace settings {

// A line that could not be read; line 0 means the file as a whole.
struct RegFileProblem {
    std::size_t line = 0;
    std::string message;
};

struct RegFileValue {
    std::string name; // as written (ANSI), "" for the default value
    RegValue value;
};

struct RegFileKey {
    std::string path;                           // below HKEY_LOCAL_MACHINE, as first written (ANSI)
    std::map<std::string, RegFileValue> values; // by FoldRegistryName(name)
};

struct RegFileContents {
    enum class Format { NotAnExport, Version5, Regedit4 };
    Format format = Format::NotAnExport;
    std::map<std::string, RegFileKey> keys; // by FoldRegistryName(path)
    std::vector<RegFileProblem> problems;   // in line order, at most maxProblems
    std::size_t problemsLeftOff = 0;        // problems beyond maxProblems, counted only

    // The value of keyPath (below HKEY_LOCAL_MACHINE) named valueName, both without regard to case;
    // nullptr when the key or the value is not there.
    const RegValue* Find(std::string_view keyPath, std::string_view valueName) const;
};

struct RegFileParseOptions {
    // When set, only this key's values are kept (compared without regard to case) and lines of other keys
    // are skipped quickly; the key's values come out exactly as in a full parse.
    std::optional<std::string> onlyKey;
    // Collects the problems; a lookup turns this off, as the readers are silent anyway.
    bool collectProblems = true;
    std::size_t maxProblems = 1000;
    // The bytes are the start of a longer file: a final line without a terminator was cut and is dropped.
    bool inputCut = false;
};

// Reads an export file's bytes. Lines that cannot be read are skipped and listed as problems; a file
// without a recognised first line gives no keys and one problem. Later lines override earlier ones,
// "[-key]" removes a key with its subkeys, "name"=- removes a value; keys of other hives are ignored.
// Never fails on any input (throws only std::bad_alloc).
RegFileContents ParseRegFile(std::string_view bytes, const RegFileParseOptions& options = {});

// A key or value name in the form used for comparing names: letters of the ANSI code page upper-cased,
// as the registry compares them.
std::string FoldRegistryName(std::string_view name);

// A key path as compared: without trailing "\" (the registry ignores them).
std::string_view TrimKeyPath(std::string_view keyPath);

} // namespace settings
