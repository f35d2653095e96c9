#pragma once

#include "ItemCsv.h"

#include <QObject>
#include <memory>

class QThread;

namespace tv {

// Reads and checks a file for import on a thread of its own, so that the window keeps answering
// and memory stays bounded however large the file is. Starts at once; finished() is emitted on
// the owner's thread when the state is no longer Reading.
class ImportScan : public QObject
{
    Q_OBJECT
public:
    enum class State { Reading, Ready, Refused, Cancelled, Failed };

    // existingNumbers: the item numbers the table holds now (copied here, read by the thread).
    ImportScan(const QString &path, std::vector<QString> existingNumbers, QObject *parent = nullptr);
    // Stops the thread and gives back the memory of the plan.
    ~ImportScan() override;

    State state() const { return m_state; }
    // Bytes read so far and the size of the file, for progress.
    qint64 bytesRead() const;
    qint64 fileSize() const { return m_fileSize; }
    // 0 to 100.
    int percent() const;

    // Stops reading; the state becomes Cancelled unless the reading was already over.
    void cancel();
    // Blocks until the reading is over (for callers without an event loop).
    void wait();

    const ImportPlan &plan() const { return m_plan; }
    // Why the file was refused (Refused) or could not be read (Failed).
    const QString &why() const { return m_why; }
    int errorNumber() const { return m_errorNumber; }

signals:
    void finished();

private:
    void finish();

    struct Result;
    std::unique_ptr<Result> m_result; // written by the thread only until it ends
    std::unique_ptr<QThread> m_thread;
    CsvProgress m_progress;
    std::atomic<bool> m_done{false};
    qint64 m_fileSize = 0;
    State m_state = State::Reading;
    ImportPlan m_plan;
    QString m_why;
    int m_errorNumber = 0;
};

} // namespace tv
