#include "harvester/gui/dlgPreview.h"

#include <QBrush>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

QString Caption(const PreviewTable& t)
{
    const int lines = static_cast<int>(t.rows.size());
    const QString name = QFileInfo(Q(t.workbook)).fileName();
    QString text =
        lines == 1
            ? QObject::tr("%1 would add 1 line to the data file; nothing has been written.").arg(name)
            : QObject::tr("%1 would add %2 lines to the data file; nothing has been written.").arg(name).arg(lines);
    if (t.dataFileNew)
        text += QLatin1Char(' ') + QObject::tr("The data file is new: a header line of the field names comes first.");
    if (const int failed = t.Failures())
        text += QLatin1Char('\n') +
                (failed == 1 ? QObject::tr("1 value cannot be read (in red)")
                             : QObject::tr("%1 values cannot be read (in red)").arg(failed)) +
                QObject::tr(": a run would leave this workbook in the input folder and write none of its lines.");
    return text;
}

}  // namespace

void FillPreviewTable(QTableWidget* view, const PreviewTable& table)
{
    view->clear();
    view->setColumnCount(static_cast<int>(table.headers.size()));
    view->setRowCount(static_cast<int>(table.rows.size()));
    QStringList headers;
    for (const std::string& h : table.headers)
        headers << Q(h);
    view->setHorizontalHeaderLabels(headers);
    for (int r = 0; r < view->rowCount(); ++r) {
        const auto& row = table.rows[static_cast<size_t>(r)];
        for (int c = 0; c < view->columnCount() && c < static_cast<int>(row.size()); ++c) {
            const FieldValue& v = row[static_cast<size_t>(c)];
            auto* item = new QTableWidgetItem(v.error.empty() ? Q(v.text) : Q(v.error));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setToolTip(item->text());
            if (!v.error.empty())
                item->setForeground(QBrush(Qt::red));
            view->setItem(r, c, item);
        }
    }
}

void QtPreviewDialog::Show(QWidget* parent, const PreviewTable& table)
{
    QDialog dlg(parent);
    dlg.setObjectName(QStringLiteral("dlgPreview"));
    dlg.setWindowTitle(QObject::tr("Preview - %1").arg(Q(table.workbook)));
    auto* layout = new QVBoxLayout(&dlg);
    auto* caption = new QLabel(Caption(table), &dlg);
    caption->setObjectName(QStringLiteral("lblPreview"));
    caption->setWordWrap(true);
    layout->addWidget(caption);
    auto* view = new QTableWidget(&dlg);
    view->setObjectName(QStringLiteral("tblPreview"));
    FillPreviewTable(view, table);
    view->resizeColumnsToContents();
    for (int c = 0; c < view->columnCount(); ++c)  // a long reason stays readable in its tool tip
        view->setColumnWidth(c, std::min(view->columnWidth(c), 320));
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    layout->addWidget(view, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dlg);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    layout->addWidget(buttons);
    dlg.resize(640, 320);
    dlg.exec();
}
