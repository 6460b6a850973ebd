#pragma once
// The Preview dialog: what a run would append for one workbook, as a table
// whose columns are the form definition's fields. A value that cannot be
// read or formatted shows its reason in its cell, in red. The window reaches
// the dialog through PreviewDialog, so that tests can stand in for it.
#include "harvester/WorkbookPreview.h"

class QTableWidget;
class QWidget;

class PreviewDialog {
public:
    virtual ~PreviewDialog() = default;
    virtual void Show(QWidget* parent, const PreviewTable& table) = 0;
};

// A modal dialog with the table and a Close button.
class QtPreviewDialog : public PreviewDialog {
public:
    void Show(QWidget* parent, const PreviewTable& table) override;
};

// The table's columns, rows and cells; rows are numbered from 1.
void FillPreviewTable(QTableWidget* view, const PreviewTable& table);
