// A form definition from the blank form's defined names (glean /define):
// the file it writes, what harvesting a filled copy with it gives, and the
// refusals.
#include "harvester/FormTypeFromWorkbook.h"
#include "harvester/GleanCommand.h"
#include "harvester/modExtractWorkbookData.h"
#include "harvester/modFormatCellValue.h"
#include "tests/harvester/HarvestTestUtil.h"
#include "workbook/Workbook.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace harvest_test;

namespace {

std::string Define(const std::string& name)
{
    return Fixture("define/" + name);
}

// What /define writes for the template (also the window's New Form Type).
const std::string kFormText = ReadFile(Define("template.expected.dat"));

const char* const kLines =
    "EmployeeName,WeekStart,EmployeeNo,Hours,Rate,Total,Share,Weight,Fraction,Note,Extra!Remark\r\n"
    "\"Ann\",02/03/2009,42,8.0,12.50,100.000,25.0%,7.25E+01,\"1.5\",\"late, sorry\",\"ok\"\r\n"
    "\"Ann\",02/03/2009,42,7.5,12.50,93.750,25.0%,7.25E+01,\"1.5\",\"late, sorry\",\"ok\"\r\n"
    "\"Ann\",02/03/2009,42,6.0,12.50,75.000,25.0%,7.25E+01,\"1.5\",\"late, sorry\",\"ok\"\r\n"
    "\"Ann\",02/03/2009,42,0.0,0.00,0.000,25.0%,7.25E+01,\"1.5\",\"late, sorry\",\"ok\"\r\n"
    "\"Ann\",02/03/2009,42,0.0,0.00,0.000,25.0%,7.25E+01,\"1.5\",\"late, sorry\",\"ok\"\r\n";

TEST(DefineFormType, TemplateGivesTheFormAndTheFormHarvestsTheFilledCopy)
{
    for (const char* ext : {"xlsx", "xls", "ods"}) {
        SCOPED_TRACE(ext);
        ScratchDir dir;
        const std::string form = dir / "form.dat";
        const auto fields = DefineFormType(Define(std::string("template.") + ext), form, false);
        EXPECT_EQ(ReadFile(form), kFormText);
        ASSERT_EQ(fields.size(), 11u);
        EXPECT_EQ(fields[3].address, "Form!B5:B9");
        EXPECT_EQ(fields[10].address, "Extra!B2");

        const FormDefinition def = LoadFormDefinition(form);
        EXPECT_EQ(HeaderLine(def) + ExtractLines(Define(std::string("filled.") + ext), def), kLines);
    }
}

TEST(DefineFormType, TheTableShowsEachField)
{
    const auto fields = FieldsOfTemplate(Define("template.xlsx"));
    std::istringstream table(FieldTable(fields));
    std::string line;
    std::getline(table, line);
    EXPECT_EQ(line, "Field         Reference     Format    Cells");
    std::getline(table, line);
    EXPECT_EQ(line, "EmployeeName  EmployeeName  text      Form!B2");
    int rows = 1;
    while (std::getline(table, line))
        ++rows;
    EXPECT_EQ(rows, 11);
}

TEST(DefineFormType, Refusals)
{
    ScratchDir dir;
    const std::string form = dir / "form.dat";
    WriteFile(form, "old");
    EXPECT_THROW(DefineFormType(Define("template.xlsx"), form, false), FormTypeExists);
    EXPECT_EQ(ReadFile(form), "old");
    DefineFormType(Define("template.xlsx"), form, true);
    EXPECT_EQ(ReadFile(form), kFormText);

    const std::string none = dir / "none.dat";
    try {
        DefineFormType(Define("nonames.xlsx"), none, false);
        ADD_FAILURE() << "a workbook without usable names gave a form definition";
    } catch (const DefineError& e) {
        EXPECT_NE(std::string(e.what()).find("no defined name refers to one range of cells"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(fs::exists(none));

    // The workbook itself is never overwritten, not even when told to.
    const std::string copy = dir / "template.xlsx";
    fs::copy_file(Define("template.xlsx"), copy);
    const std::string before = ReadFile(copy);
    EXPECT_THROW(DefineFormType(copy, copy, true), DefineError);
    EXPECT_EQ(ReadFile(copy), before);
}

TEST(GleanDefine, ExitStatusAndMessages)
{
    ScratchDir dir;
    const std::string form = dir / "new form.dat";
    auto run = [&](const std::string& args, std::string& out, std::string& err) {
        GleanOptions o = ParseGleanOptions(args);
        EXPECT_EQ(o.usageError, "");
        EXPECT_TRUE(o.defineGiven);
        std::ostringstream o1, o2;
        const int status = RunDefine(o, o1, o2);
        out = o1.str();
        err = o2.str();
        return status;
    };
    std::string out, err;
    const std::string tmpl = "\"" + Define("template.ods") + "\"";
    EXPECT_EQ(run("/define " + tmpl + " /type \"" + form + "\"", out, err), 0);
    EXPECT_EQ(out, FieldTable(FieldsOfTemplate(Define("template.ods"))));
    EXPECT_EQ(err, "glean: wrote " + form + " (11 fields)\n");
    EXPECT_EQ(ReadFile(form), kFormText);

    EXPECT_EQ(run("--define=" + Define("template.ods") + " --type \"" + form + "\"", out, err), 2);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "glean: " + form + " already exists; give /force to replace it\n");
    EXPECT_EQ(run("/define " + tmpl + " /type \"" + form + "\" /FORCE", out, err), 0);

    EXPECT_EQ(run("/define \"" + Define("nonames.xlsx") + "\" /type \"" + (dir / "x.dat") + "\"", out, err), 2);
    EXPECT_EQ(err.rfind("glean: " + Define("nonames.xlsx") + ": no defined name", 0), 0u) << err;
    EXPECT_EQ(run("/define \"" + Fixture("notabook.xlsx") + "\" /type \"" + (dir / "x.dat") + "\"", out, err), 2);
    EXPECT_FALSE(fs::exists(dir / "x.dat"));
    EXPECT_EQ(run("/define " + tmpl, out, err), 2);
    EXPECT_EQ(err.rfind("glean: /define needs a workbook and /type", 0), 0u) << err;
}

TEST(FormatWordFor, Table)
{
    using wb::CellType;
    const struct {
        const char* code;
        CellType type;
        const char* word;
    } rows[] = {
        {"", CellType::Empty, "text"},
        {"", CellType::Text, "text"},
        {"General", CellType::Number, "General Number"},
        {"", CellType::Date, "dmy"},
        {"@", CellType::Empty, "text"},
        {"dd/mm/yyyy", CellType::Empty, "dmy"},
        {"[$-409]mmmm d, yyyy", CellType::Date, "dmy"},
        {"DD.MM.YY", CellType::Empty, "dmy"},
        {"0", CellType::Empty, "0"},
        {"0.0", CellType::Number, "0.0"},
        {"#,##0.00", CellType::Empty, "0.00"},
        {"[Red]0.000;-0.000", CellType::Empty, "0.000"},
        {"0.0000", CellType::Empty, "0.0000"},
        {"0%", CellType::Empty, "0%"},
        {"0.0 \"kg\"", CellType::Empty, "0.0 \"kg\""},
        {"h:mm", CellType::Empty, "h:mm"},
        {"[h]:mm:ss", CellType::Empty, "text"},
        {"# ?/?", CellType::Empty, "text"},
        {"_(* #,##0_)", CellType::Empty, "text"},
        {"[>=100]0;0.0", CellType::Empty, "text"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatWordFor(r.code, r.type), r.word) << r.code;
}

// What the pattern check lets through, the pattern language shows as the
// spreadsheet does.
TEST(PatternUnderstood, AgreesWithFormatPattern)
{
    const struct {
        const char* pattern;
        bool understood;
        const char* value;
        const char* shown;  // by FormatPattern, for the understood ones
    } rows[] = {
        {"0.0%", true, "0.25", "25.0%"},
        {"0.00E+00", true, "72.5", "7.25E+01"},
        {"#,##0.00 [$€-407]", true, "1234.5", "1,234.50 "},
        {"[Blue]0.0", true, "3", "3.0"},
        {"dd-mmm-yy", true, "2009-03-02", "02-Mar-09"},
        {"Percent", true, "0.5", "50.00%"},
        {"0.0 \"kg\"", true, "2", "2.0 kg"},
        {"General", false, "", ""},
        {"# ?/?", false, "", ""},
        {"_-* #,##0.00_-", false, "", ""},
        {"[h]:mm", false, "", ""},
        {"0.0 kg", false, "", ""},
        {"\"kg\"", false, "", ""},
        {"", false, "", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.pattern);
        EXPECT_EQ(PatternUnderstood(r.pattern), r.understood);
        if (r.understood) {
            EXPECT_EQ(FormatPattern(r.value, r.pattern), r.shown);
        }
    }
}

}  // namespace
