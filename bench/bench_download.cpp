// Downloads a 50 MB program from a server on 127.0.0.1 with the updater's transfer (size request,
// download beside Ketbook, signed manifest, rename over it) and with curl writing into a file in the same
// folder, against the same server, and prints both throughputs. The server runs in a thread of its
// own. Target: the updater at least 90% of curl.
#include "BenchDb.h"
#include "HttpTestServer.h"
#include "SilentPrompts.h"
#include "UpdateSigning.h"
#include "common/EndProgram.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "updatecheck/ReleaseKey.h"
#include "updater/KetbookDownload.h"
#include "updater/UpdaterWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

using namespace tv;

namespace {
constexpr qint64 kSize = 50LL * 1024 * 1024;

class ServerThread : public QThread
{
public:
    ServerThread(QByteArray body, QByteArray signature)
        : m_body(std::move(body)), m_signature(std::move(signature))
    {
    }
    std::atomic<int> port{0};

protected:
    void run() override
    {
        tv::test::HttpTestServer server;
        tv::test::HttpTestServer::Response r;
        r.body = m_body;
        server.setResponse(QStringLiteral("/Ketbook.exe"), r);
        server.setBody(QStringLiteral("/Ketbook.manifest"), m_signature);
        port = server.port();
        exec();
    }

private:
    QByteArray m_body;
    QByteArray m_signature;
};

double mbps(qint64 bytes, double ms)
{
    return ms > 0 ? bytes / (1024.0 * 1024.0) / (ms / 1000.0) : 0;
}
} // namespace

using bench::median;

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = 9;

    QByteArray body(kSize, Qt::Uninitialized);
    for (qint64 i = 0; i < kSize; ++i)
        body[i] = char((i * 2654435761u) >> 24);
    tv::setReleaseKey(tv::updatePublicKeyPem());
    const QByteArray signature = tv::test::signUpdate(body);
    if (signature.isEmpty()) {
        std::fprintf(stderr, "signing failed\n");
        return 1;
    }
    ServerThread server(body, signature);
    server.start();
    while (server.port == 0)
        QThread::msleep(5);
    const QString url = QStringLiteral("http://127.0.0.1:%1").arg(server.port.load());
    qputenv("TALLYVANE_UPDATE_URL", url.toUtf8());

    QTemporaryDir dir;
    tv::setProgramFolder(dir.path());
    tv::setEndProgramHandler([] {});
    bench::SilentPrompts silent;
    tv::setPrompts(&silent);

    std::vector<double> curlFileRates, ourRates, installedRates, formRates;
    for (int run = 0; run < runs; ++run) {
        // curl doing the updater's job: the file written into the program folder.
        QProcess curlFile;
        const QString target = dir.filePath(QStringLiteral("curl.out"));
        curlFile.start(QStringLiteral("curl"),
                       {QStringLiteral("-s"), QStringLiteral("-o"), target, QStringLiteral("-w"),
                        QStringLiteral("%{time_total}"), url + QStringLiteral("/Ketbook.exe")});
        if (!curlFile.waitForFinished(120000) || curlFile.exitCode() != 0) return 1;
        curlFileRates.push_back(mbps(kSize, curlFile.readAllStandardOutput().trimmed().toDouble() * 1000.0));
        QFile::remove(target);
        // Each install records its version; the same release is installed again on every run.
        const QString record = dir.filePath(QStringLiteral("Ketbook.version"));
        QFile::remove(record);

        // The updater's transfer alone: size request, download, fsync, manifest and rename.
        {
            KetbookDownload d;
            QEventLoop loop;
            QObject::connect(&d, &KetbookDownload::finished, &loop, &QEventLoop::quit);
            QElapsedTimer t;
            t.start();
            double tSize = 0, tFirst = 0, tLast = 0;
            QObject::connect(&d, &KetbookDownload::sizeKnown, [&] { tSize = t.nsecsElapsed() / 1e6; });
            QObject::connect(&d, &KetbookDownload::progress, [&] {
                if (tFirst == 0) tFirst = t.nsecsElapsed() / 1e6;
            });
            QObject::connect(&d, &KetbookDownload::programDownloaded,
                             [&] { tLast = t.nsecsElapsed() / 1e6; });
            d.start();
            loop.exec();
            const double ms = t.nsecsElapsed() / 1e6;
            if (d.result() != KetbookDownload::Result::Installed ||
                QFile(tv::programPath(QStringLiteral("Ketbook"))).size() != kSize) {
                std::fprintf(stderr, "download failed\n");
                return 1;
            }
            ourRates.push_back(mbps(kSize, tLast));
            installedRates.push_back(mbps(kSize, ms));
            if (qEnvironmentVariableIsSet("BENCH_DETAIL"))
                std::printf("size known %.1f ms, first byte %.1f ms, last byte %.1f ms, installed %.1f ms\n",
                            tSize, tFirst, tLast, ms);
        }

        // The same inside the window, drawing its list and bar.
        QFile::remove(record);
        {
            UpdaterWindow form;
            QEventLoop loop;
            QObject::connect(&form.download(), &KetbookDownload::finished, &loop, &QEventLoop::quit,
                             Qt::QueuedConnection);
            QElapsedTimer t;
            t.start();
            double tLast = 0;
            QObject::connect(&form.download(), &KetbookDownload::programDownloaded,
                             [&] { tLast = t.nsecsElapsed() / 1e6; });
            form.load();
            loop.exec();
            if (form.download().result() != KetbookDownload::Result::Installed) {
                std::fprintf(stderr, "download in the window failed\n");
                return 1;
            }
            formRates.push_back(mbps(kSize, tLast));
        }
    }
    server.quit();
    server.wait();

    const double cf = median(curlFileRates), o = median(ourRates), oi = median(installedRates),
                 f = median(formRates);
    std::printf("download of %lld MB from 127.0.0.1, median of %d runs (request to last byte)\n",
                kSize / (1024 * 1024), runs);
    std::printf("  curl into a file in the folder               %8.1f MB/s\n", cf);
    std::printf("  updater transfer, into the file beside       %8.1f MB/s  = %.0f%% of curl\n", o,
                100.0 * o / cf);
    std::printf("  updater window (offscreen), the same         %8.1f MB/s  = %.0f%% of curl\n", f,
                100.0 * f / cf);
    std::printf("  updater transfer incl. size request, fsync, signature and rename: %.1f MB/s\n", oi);
    const bool met = std::min(o, f) >= 0.9 * cf;
    std::printf("  target, at least 90%% of curl into a file in the folder: %s\n", met ? "met" : "NOT met");
    return met ? 0 : 2;
}
