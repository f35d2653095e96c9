#pragma once

#include "ImportScan.h"

#include <QDialog>

class QBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace tv {

// The import preview: progress and Cancel while the file is read, then the first rows as they
// will be stored, the first problems and how many there are, and Import only when there is none.
// A file that cannot be imported closes it (the caller says why).
class ImportPreviewDialog : public QDialog
{
    Q_OBJECT
public:
    ImportPreviewDialog(tv::ImportScan &scan, const QString &path, QWidget *parent = nullptr);

    // Shows the preview modal; true when the user chose Import.
    static bool confirm(tv::ImportScan &scan, const QString &path, QWidget *parent);

    static constexpr int kPreviewRows = static_cast<int>(ImportPlan::kPreviewRows);

    void reject() override;

private:
    void buildProgress(QBoxLayout *layout);
    void buildTables(QBoxLayout *layout);
    void buildButtons(QBoxLayout *layout);
    void followScan();
    void showPlan();

    tv::ImportScan &m_scan;
    QString m_fileName;
    QLabel *m_summary = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_rowsLabel = nullptr;
    QLabel *m_problemsLabel = nullptr;
    QPushButton *m_cancel = nullptr;
    QTableWidget *m_rows = nullptr;
    QTableWidget *m_problems = nullptr;
    QPushButton *m_import = nullptr;
};

} // namespace tv
