#pragma once
// The shared body of the fuzz targets and of the damaged-file tests: the
// input is written to a file (the readers open paths), opened, every name
// resolved and a block of every sheet read, as a harvest would. wb::Error is
// the expected way out; any other exception, crash or sanitizer report is a
// finding.
#include "workbook/Workbook.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

#include <unistd.h>

namespace fuzzwb {

// Opens the workbook at `path` and reads it as a harvest would. Each wb::Error
// goes to `refused` with the name or reference being read ("" for the file or
// a sheet); any other exception leaves.
inline void Exercise(const std::string& path,
                     const std::function<void(const std::string&, const wb::Error&)>& refused = nullptr)
{
    auto guard = [&](const std::string& what, const auto& read) {
        try {
            read();
        } catch (const wb::Error& e) {
            if (refused)
                refused(what, e);
        }
    };
    guard("", [&] {
        auto book = wb::Workbook::Open(path);
        (void)book->ActiveSheet();
        for (const wb::DefinedName& n : book->Names())
            guard(n.name, [&] {
                wb::Range r = book->Resolve(n.name);
                for (int row = r.firstRow; row <= r.lastRow && row < r.firstRow + 64; ++row)
                    for (int col = r.firstCol; col <= r.lastCol && col < r.firstCol + 16; ++col)
                        (void)book->Cell(r.sheet, row, col).Text();
            });
        for (size_t s = 0; s < book->SheetNames().size(); ++s)
            guard("", [&] {
                for (int row = 0; row < 40; ++row)
                    for (int col = 0; col < 10; ++col)
                        (void)book->Cell(int(s), row, col).Text();
            });
        for (const char* ref : {"A1", "$B$2:$C$9", "Sheet1!A1", "'Form'!B2", "Local"})
            guard(ref, [&] { (void)book->Resolve(ref); });
    });
}

inline int Run(const uint8_t* data, size_t size, const char* extension)
{
    static const std::string path = "/tmp/wbfuzz-" + std::to_string(getpid()) + extension;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), long(size));
    Exercise(path);
    return 0;
}

}  // namespace fuzzwb
