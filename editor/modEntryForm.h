#pragma once
// The entry form as the specification file describes it, computed without
// any widget: for each specification row (caption, width in percent, combo
// mode, pick-list file or "-") one field of a label and an input control,
// side by side in the band above the row list, and the list column that
// belongs to it. Geometry is in twips of the window's client area.
#include <cstdint>
#include <string>
#include <vector>

class clsDatFile;

namespace tabwright {

namespace entryform {

inline constexpr int kLabelTop = 120;
inline constexpr int kLabelHeight = 240;
inline constexpr int kInputTop = 360;
inline constexpr int kTextBoxHeight = 315;
inline constexpr int kFirstControlNumber = 20;  // lbl20/cbo20 is field 0

struct Field {
    std::string labelName;     // "lbl" + (i + 20)
    std::string inputName;     // "cbo" + (i + 20), text boxes too
    std::string caption;       // the specification's caption
    std::string labelCaption;  // one space, then the caption
    double left = 0;           // twips
    double width = 0;          // twips, the share of the list's width less 10
    std::string tag;           // layout options "X=a/100 W=p/100"
    bool isTextBox = true;     // pick-list column exactly "-"
    int16_t mode = 0;          // combo mode
    std::string listFile;      // pick-list file, resolved
    int16_t columnWidth = 0;   // the list column's percentage
};

// A name that does not exist as given is taken from the program folder
// (absolute names stay as they are).
std::string ResolveInFolder(const std::string& name, const std::string& folder);

// The fields for the rows of a 4-column specification table, placed from the
// list's left edge over its width.
std::vector<Field> PlanFields(const clsDatFile& spec, double listLeft, double listWidth,
                              const std::string& programFolder);

// Twips to whole pixels.
int ToPixels(double twips);

// A whole number as text with room for its sign: " 5", "-5".
std::string Str(long long n);

// Messages.
std::string SpecMissingMessage(const std::string& specFile);
std::string SpecColumnsMessage(const std::string& specFile);
std::string SpecNoRowsMessage(const std::string& specFile);
std::string WrongColumnsMessage(const std::string& path, int dataCols, const std::string& specFile, int fieldCount);

}  // namespace entryform

}  // namespace tabwright
