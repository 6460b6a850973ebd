#pragma once
// The shared body of the fuzz targets: the input is written to a file (the
// readers open paths), opened, every name resolved and a block of every
// sheet read, as a harvest would. wb::Error is the expected way out; any
// other exception, crash or sanitizer report is a finding.
#include "workbook/Workbook.h"

#include <cstdint>
#include <fstream>
#include <string>

#include <unistd.h>

namespace fuzzwb {

// Opens the workbook at `path` and reads it as a harvest would.
inline void Exercise(const std::string& path)
{
    try {
        auto book = wb::Workbook::Open(path);
        (void)book->ActiveSheet();
        for (const wb::DefinedName& n : book->Names()) {
            try {
                wb::Range r = book->Resolve(n.name);
                for (int row = r.firstRow; row <= r.lastRow && row < r.firstRow + 64; ++row)
                    for (int col = r.firstCol; col <= r.lastCol && col < r.firstCol + 16; ++col)
                        (void)book->Cell(r.sheet, row, col).Text();
            } catch (const wb::Error&) {
            }
        }
        for (size_t s = 0; s < book->SheetNames().size(); ++s) {
            try {
                for (int row = 0; row < 40; ++row)
                    for (int col = 0; col < 10; ++col)
                        (void)book->Cell(int(s), row, col).Text();
            } catch (const wb::Error&) {
            }
        }
        for (const char* ref : {"A1", "$B$2:$C$9", "Sheet1!A1", "'Form'!B2", "Local"}) {
            try {
                (void)book->Resolve(ref);
            } catch (const wb::Error&) {
            }
        }
    } catch (const wb::Error&) {
    }
}

inline int Run(const uint8_t* data, size_t size, const char* extension)
{
    static const std::string path = "/tmp/wbfuzz-" + std::to_string(getpid()) + extension;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), long(size));
    Exercise(path);
    return 0;
}

}  // namespace fuzzwb
