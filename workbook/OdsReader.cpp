#include "workbook/Reader.h"
#include "workbook/ZipArchive.h"
namespace wb::detail {
std::unique_ptr<Reader> OpenOdsPackage(std::unique_ptr<ZipArchive> zip) { throw Error(zip->Path() + ": ods later"); }
std::unique_ptr<Reader> OpenOds(const std::string& path) { return OpenOdsPackage(std::make_unique<ZipArchive>(path)); }
}
