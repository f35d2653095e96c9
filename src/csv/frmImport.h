#pragma once

#include "ItemCsv.h"

#include <QDialog>

class QPushButton;
class QTableWidget;

namespace tv {

// The import preview: the first rows as they will be stored, every problem, and Import only
// when there is none.
class frmImport : public QDialog
{
    Q_OBJECT
public:
    frmImport(const tv::ImportPlan &plan, const QString &path, QWidget *parent = nullptr);

    // Shows the preview modal; true when the user chose Import.
    static bool confirm(const tv::ImportPlan &plan, const QString &path, QWidget *parent);

    static constexpr int kPreviewRows = 20;

    QTableWidget *grdRows() const { return m_rows; }
    QTableWidget *grdProblems() const { return m_problems; }
    QPushButton *cmdImport() const { return m_import; }

private:
    QTableWidget *m_rows = nullptr;
    QTableWidget *m_problems = nullptr;
    QPushButton *m_import = nullptr;
};

} // namespace tv
