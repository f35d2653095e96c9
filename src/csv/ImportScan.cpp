#include "ImportScan.h"

#include "common/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tv {

struct ImportScan::Result
{
    State state = State::Reading;
    ImportPlan plan;
    QString why;
    int errorNumber = 0;
};

ImportScan::ImportScan(const QString &path, std::vector<QString> existingNumbers, QObject *parent)
    : QObject(parent), m_result(std::make_unique<Result>()), m_fileSize(QFileInfo(path).size())
{
    Result *result = m_result.get();
    CsvProgress *progress = &m_progress;
    m_thread.reset(QThread::create([this, result, progress, path, numbers = std::move(existingNumbers)] {
        try {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                throw AppError(file.exists() ? Err::PermissionDenied : Err::FileNotFound,
                               QStringLiteral("Could not read '%1': %2").arg(path, file.errorString()));
            result->plan = planImport(file, numbers, progress);
            result->state = State::Ready;
        } catch (const CsvRefused &e) {
            result->state = State::Refused;
            result->why = e.why();
        } catch (const CsvCancelled &) {
            result->state = State::Cancelled;
        } catch (const AppError &e) {
            result->state = State::Failed;
            result->why = e.description();
            result->errorNumber = e.number();
        } catch (const std::bad_alloc &) {
            result->state = State::Failed;
            result->why = QStringLiteral("Out of memory");
            result->errorNumber = static_cast<int>(Err::OutOfMemory);
        }
        m_done.store(true, std::memory_order_release);
        QMetaObject::invokeMethod(this, &ImportScan::finish, Qt::QueuedConnection);
    }));
    m_thread->setObjectName(QStringLiteral("ImportScan"));
    m_thread->start();
}

ImportScan::~ImportScan()
{
    m_progress.cancel = true;
    m_thread->wait();
    m_result.reset();
    m_plan = ImportPlan();
#ifdef __GLIBC__
    // The reading thread's heap keeps freed blocks; hand them back to the system.
    malloc_trim(0);
#endif
}

qint64 ImportScan::bytesRead() const
{
    return m_progress.bytesRead.load(std::memory_order_relaxed);
}

int ImportScan::percent() const
{
    if (m_state != State::Reading) return 100;
    if (m_fileSize <= 0) return 0;
    return static_cast<int>(std::min<qint64>(99, bytesRead() * 100 / m_fileSize));
}

void ImportScan::cancel()
{
    if (m_state != State::Reading) return;
    m_progress.cancel = true;
    m_thread->wait();
    // Whatever the thread got to, the user chose not to go on.
    m_result->state = State::Cancelled;
    m_result->plan = ImportPlan();
    finish();
}

void ImportScan::wait()
{
    m_thread->wait();
    finish();
}

void ImportScan::finish()
{
    if (m_state != State::Reading || !m_done.load(std::memory_order_acquire)) return;
    m_state = m_result->state;
    m_plan = std::move(m_result->plan);
    m_why = m_result->why;
    m_errorNumber = m_result->errorNumber;
    emit finished();
}

} // namespace tv
