#pragma once

#include <QMainWindow>
#include <QRect>
#include <QSize>
#include <QString>

class QAction;
class QPrinter;
class QTextBrowser;

// The report viewer: shows the report file the sort window has just written, and prints it.
class frmreport : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmreport(QWidget *parent = nullptr);
    ~frmreport() override;

    // The open viewer, or a new one when none is open; the next report reuses it.
    static frmreport *instance();
    // The open viewer or nullptr.
    static frmreport *openInstance();

    // Shows the report file; throws AppError when it cannot be read. The file is not changed.
    void navigate(const QString &path);
    QString shownPath() const { return m_path; }

    // Prints the shown page on a printer already set up.
    void printShown(QPrinter *printer) const;

    // Where the browser goes for a window of the given outer size (frame, title and menu bar
    // included), everything in pixels at the given resolution. The margins are fixed in twips:
    // 10 from the left and top, 200 narrower and 1000 lower than the window. A dimension that
    // would come out negative keeps its current value.
    static QRect browserGeometry(QSize outer, QSize current, double dpiX, double dpiY);

    // The report as the view shows it: a colour written without "#" (color="0000aa") gets it,
    // read as a browser reads such a value ("cc000" is #cc0000); nothing else changes.
    static QString displayHtml(const QString &html);

    QTextBrowser *wb = nullptr;
    QAction *mnuprint = nullptr;

public slots:
    void Form_Resize();
    void mnuprint_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QString m_path;
};
