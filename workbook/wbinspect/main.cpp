// wbinspect WORKBOOK [REFERENCE ...]: prints what the workbook reader sees
// (format, sheets, active sheet, date system, defined names and the cells of
// each reference) as one JSON object. Exit status 1 when the file cannot be
// read, 2 on wrong usage.
#include "workbook/Dump.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fprintf(argc < 2 ? stderr : stdout,
                     "Usage: wbinspect WORKBOOK [REFERENCE ...]\n"
                     "Prints the format, sheets, active sheet, date system and defined names of\n"
                     "WORKBOOK (.xls, .xlsx, .xlsm, .xlsb or .ods) and the cells of each REFERENCE (a\n"
                     "defined name or an address such as B4, $C$10:$C$16 or 'My Sheet'!B2) as JSON.\n");
        return argc < 2 ? 2 : 0;
    }
    std::vector<std::string> references(argv + 2, argv + argc);
    std::string out;
    int status = 0;
    try {
        auto book = wb::Workbook::Open(argv[1]);
        out = wb::DumpJson(*book, references);
    } catch (const std::exception& e) {
        out = wb::ErrorJson(e.what());
        status = 1;
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? status : 1;
}
