#pragma once

#include "ReportLayout.h"
#include "ReportModel.h"

#include <QAbstractScrollArea>
#include <memory>
#include <optional>

namespace tv {

// Shows a report of the writer at any size: only the rows on screen are drawn, one line each,
// laid out as the report's HTML lays them out. The header row stays at the top while the rows
// scroll under it.
class ReportView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit ReportView(QWidget *parent = nullptr);
    ~ReportView() override;

    void setModel(std::shared_ptr<const tv::ReportModel> model);
    std::shared_ptr<const tv::ReportModel> model() const { return m_model; }
    // The layout at the present width; nullptr without a model.
    const tv::ReportLayout *reportLayout() const { return m_layout ? &*m_layout : nullptr; }

    // Marks a piece of text (ReportModel::place) and scrolls to it unless it is in sight already.
    void showPiece(qsizetype piece);
    qsizetype shownPiece() const { return m_found; }
    // Where a find starts (ReportModel::find): after the marked piece, or at it (here), or at
    // the first row in sight.
    qsizetype findStart(bool here = false) const;
    // The first and last rows in sight, wholly or in part (-1 without rows).
    std::pair<qsizetype, qsizetype> rowsInSight() const;

    // Paints so far, for the benchmark.
    int paintCount() const { return m_paints; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void relayout();
    // Where the header row is drawn.
    int headerY() const;
    // The top of what is in sight below the header row.
    int sightTop() const;

    std::shared_ptr<const tv::ReportModel> m_model;
    std::optional<tv::ReportLayout> m_layout;
    qsizetype m_found = -1;
    int m_paints = 0;
};

} // namespace tv
