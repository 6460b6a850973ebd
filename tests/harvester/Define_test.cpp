// A form definition from the blank form's defined names (glean /define):
// the file it writes, what harvesting a filled copy with it gives, and the
// refusals.
#include "harvester/FormTypeFromWorkbook.h"
#include "harvester/modExtractWorkbookData.h"
#include "tests/harvester/BatchRunFixture.h"

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

using GleanDefine = BatchRun;

TEST_F(GleanDefine, ExitStatusAndMessages)
{
    const std::string form = dir / "new form.dat", tmpl = " \"" + Define("template.ods") + "\"";
    EXPECT_EQ(Glean("/define" + tmpl + " /type \"" + form + "\""), 0);
    EXPECT_EQ(printed.str(), FieldTable(FieldsOfTemplate(Define("template.ods"))));
    // A header line, then a line per field.
    const std::string out = printed.str(), head = "Field         Reference     Format    Cells\n";
    EXPECT_EQ(out.rfind(head + "EmployeeName  EmployeeName  text      Form!B2\n", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 12);
    EXPECT_EQ(err.str(), "glean: wrote " + form + " (11 fields)\n");
    EXPECT_EQ(ReadFile(form), kFormText);

    // An existing form definition stays unless /force is given.
    WriteFile(form, "old");
    EXPECT_EQ(Glean("--define=" + Define("template.ods") + " --type \"" + form + "\""), 2);
    EXPECT_EQ(printed.str(), "");
    EXPECT_EQ(err.str(), "glean: " + form + " already exists; give /force to replace it\n");
    EXPECT_EQ(ReadFile(form), "old");
    EXPECT_EQ(Glean("/define" + tmpl + " /type \"" + form + "\" /FORCE"), 0);
    EXPECT_EQ(ReadFile(form), kFormText);
    // The workbook itself is never overwritten, not even when told to.
    const std::string copy = dir / "template.xlsx";
    fs::copy_file(Define("template.xlsx"), copy);
    EXPECT_EQ(Glean("/define \"" + copy + "\" /type \"" + copy + "\" /force"), 2);
    EXPECT_EQ(ReadFile(copy), ReadFile(Define("template.xlsx")));

    EXPECT_EQ(Glean("/define \"" + Define("nonames.xlsx") + "\" /type \"" + (dir / "x.dat") + "\""), 2);
    const std::string why = ": no defined name refers to one range of cells (1 name in the workbook)";
    EXPECT_EQ(err.str().rfind("glean: " + Define("nonames.xlsx") + why, 0), 0u) << err.str();
    EXPECT_EQ(Glean("/define \"" + Fixture("notabook.xlsx") + "\" /type \"" + (dir / "x.dat") + "\""), 2);
    EXPECT_FALSE(fs::exists(dir / "x.dat"));
    EXPECT_EQ(Glean("/define" + tmpl), 2);
    EXPECT_EQ(err.str().rfind("glean: /define needs a workbook and /type", 0), 0u) << err.str();
}

}  // namespace
