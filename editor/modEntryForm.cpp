#include "editor/modEntryForm.h"

#include "common/Twips.h"
#include "common/clsDatFile.h"
#include "editor/modVal.h"

#include <filesystem>

namespace tabwright {

namespace entryform {

std::string ResolveInFolder(const std::string& name, const std::string& folder)
{
    std::error_code ec;
    if (!name.empty() && std::filesystem::exists(name, ec))
        return name;
    if (std::filesystem::path(name).is_absolute())
        return name;
    return folder + "/" + name;
}

std::vector<Field> PlanFields(const clsDatFile& spec, double listLeft, double listWidth,
                              const std::string& programFolder)
{
    std::vector<Field> fields;
    const int rows = spec.Rows();
    fields.reserve(rows > 0 ? rows : 0);
    double x = listLeft;  // running left edge
    long long a = 0;      // running percentage, whole
    for (int i = 0; i < rows; ++i) {
        Field f;
        const std::string number = std::to_string(i + kFirstControlNumber);
        f.labelName = "lbl" + number;
        f.inputName = "cbo" + number;
        f.caption = spec.Data(i, 0);
        f.labelCaption = " " + f.caption;
        const std::string widthText = spec.Data(i, 1);
        const double p = Val(widthText);
        const double cw = p / 100.0 * listWidth;
        f.left = x;
        f.width = cw - 10;
        f.tag = "X=" + std::to_string(a) + "/100 W=" + std::to_string(RoundHalfAway(p)) + "/100";
        f.columnWidth = ToInt16(p);
        f.isTextBox = spec.Data(i, 3) == "-";
        if (!f.isTextBox) {
            f.mode = ToInt16(Val(spec.Data(i, 2)));
            f.listFile = ResolveInFolder(spec.Data(i, 3), programFolder);
        }
        fields.push_back(std::move(f));
        x += cw;
        a = RoundHalfEven(double(a) + p);
    }
    return fields;
}

int ToPixels(double twips)
{
    return int(RoundHalfEven(twips / kTwipsPerPixel));
}

std::string Str(long long n)
{
    return n < 0 ? std::to_string(n) : " " + std::to_string(n);
}

std::string SpecMissingMessage(const std::string& specFile)
{
    return "Specification file: " + specFile + " doesn't exist.";
}

std::string SpecColumnsMessage(const std::string& specFile)
{
    return "Error in specification file:\n" + specFile + "\nIt should have 4 columns.";
}

std::string SpecNoRowsMessage(const std::string& specFile)
{
    return "Error in specification file:\n" + specFile + "\nIt should have at least one row.";
}

std::string WrongColumnsMessage(const std::string& path, int dataCols, const std::string& specFile, int fieldCount)
{
    return "File " + path + " is not in the correct format." + " It has" + Str(dataCols) + " columns." + "\n\n" +
           "Specification " + specFile + " is for" + Str(fieldCount) + " column data files.";
}

}  // namespace entryform

}  // namespace tabwright
