#include "harvester/WorkbookPreview.h"

#include "harvester/RunErrors.h"
#include "workbook/Workbook.h"

int PreviewTable::Failures() const
{
    int n = 0;
    for (const auto& row : rows)
        for (const FieldValue& v : row)
            n += !v.error.empty();
    return n;
}

PreviewTable PreviewWorkbook(const BatchPaths& paths, const std::string& selected)
{
    PreviewTable t;
    MemoryStatusList list;
    clsBatchRun run(list);
    run.setPaths(paths);
    clsBatchRun::Checked checked;
    try {
        checked = run.CheckWithoutWriting();
    } catch (const ConfigError& e) {
        t.error = e.what();
        return t;
    }
    t.workbook = selected;
    if (t.workbook.empty()) {
        const std::vector<std::string> listed = run.Workbooks(checked.source);
        if (listed.empty()) {
            t.error = "There is no workbook to preview in " + checked.source.folder + ".";
            return t;
        }
        t.workbook = listed.front();
    }
    t.dataFileNew = checked.dataFileNew;
    for (const FormField& f : checked.form.fields)
        t.headers.push_back(f.name);
    try {
        auto book = wb::Workbook::Open(t.workbook);
        t.rows = ExtractTable(*book, checked.form);
    } catch (const std::exception& e) {
        // The run's reason, named by the workbook once.
        std::string why = e.what();
        if (why.rfind(t.workbook + ": ", 0) == 0)
            why.erase(0, t.workbook.size() + 2);
        t.error = why.find(t.workbook) == std::string::npos ? t.workbook + ": " + why : why;
        t.rows.clear();
    }
    return t;
}
