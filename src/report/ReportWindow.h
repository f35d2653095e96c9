#pragma once

#include "ReportPrinter.h"

#include <QMainWindow>
#include <QRect>
#include <QSize>
#include <QString>

class QAction;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QStackedWidget;
class QTextBrowser;

namespace tv {

class ReportView;

// The report viewer: shows the report file the sort window has just written, and prints it.
// A report in the writer's structure is shown row by row, at any size; any other HTML file
// goes to a text browser.
class ReportWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit ReportWindow(QWidget *parent = nullptr);
    ~ReportWindow() override;

    // The open viewer, or a new one when none is open; the next report reuses it.
    static ReportWindow *instance();
    // The open viewer or nullptr.
    static ReportWindow *openInstance();
    // Shows the report file in the open viewer (or a new one) and brings it forward; throws
    // AppError when the file cannot be read.
    static void showReport(const QString &path);
    // The same for the reorder list, whose CSV "Save as CSV" then writes.
    static void showReorderList(const QString &path, const QByteArray &csv);

    // Asks for a file and writes the reorder list's CSV to it; false when none is shown or the
    // user cancels. Throws AppError when the file cannot be written.
    bool saveCsv();

    // Shows the report file; throws AppError when it cannot be read. The file is not changed.
    // `legacyColours`: colours may be written without "#" (see displayHtml); a page written with
    // them skips that pass.
    void navigate(const QString &path, bool legacyColours = true);
    QString shownPath() const { return m_path; }
    // Whether the report is shown row by row (rather than by the text browser).
    bool showsRows() const;
    // The shown texts in reading order, one piece a line.
    QString shownText() const;

    // Prints the whole report on a printer already set up; a print into a file replaces the
    // file only when it is whole. The progress may stop it.
    tv::PrintResult printShown(QPrinter *printer, const tv::ReportPrinter::Progress &progress = {},
                               QString *error = nullptr) const;

    // Finds the next (or previous) place holding the text, without regard to case, going round
    // past the end, and scrolls to it. False when the report does not hold it.
    bool find(const QString &text, bool backwards = false);

    // Where the report area goes for a window of the given outer size (frame, title and menu bar
    // included), everything in pixels at the given resolution. The margins are fixed in twips:
    // 10 from the left and top, 200 narrower and 1000 lower than the window. A dimension that
    // would come out negative keeps its current value.
    static QRect reportAreaGeometry(QSize outer, QSize current, double dpiX, double dpiY);

    // The report as the text browser shows it: a colour written without "#" (color="0000aa")
    // gets it, read as a browser reads such a value ("cc000" is #cc0000); nothing else changes.
    static QString displayHtml(const QString &html);

public slots:
    void placeReport();
    void printReport();
    void showFindBar();
    void hideFindBar();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildReportArea();
    void buildFindBar();
    void buildMenu();
    void buildFindKeys();
    QWidget *shownWidget() const;
    void findFromBar(bool backwards, bool again);
    // From the place found last, or (here) from that place itself.
    bool findFrom(const QString &text, bool backwards, bool here);

    // The report area, placed by placeReport: the row view or the text browser, the find bar below.
    QWidget *m_reportArea = nullptr;
    QStackedWidget *m_pages = nullptr;
    ReportView *m_rowView = nullptr;
    QTextBrowser *m_browser = nullptr;
    QWidget *m_findBar = nullptr;
    QLineEdit *m_findText = nullptr;
    QPushButton *m_findNext = nullptr;
    QPushButton *m_findPrevious = nullptr;
    QPushButton *m_findClose = nullptr;
    QLabel *m_findStatus = nullptr;
    QAction *m_printAction = nullptr;
    QAction *m_findAction = nullptr;
    QAction *m_csvAction = nullptr; // shown with the reorder list
    QByteArray m_csv;
    QString m_path;
};

} // namespace tv
