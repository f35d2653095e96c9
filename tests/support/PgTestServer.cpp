#include "PgTestServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QVersionNumber>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tv::test {

namespace {
const QString kUser = QStringLiteral("tallyvane");
const QString kDatabase = QStringLiteral("inventory");

// The unprivileged account the server runs as when the tests run as root.
const passwd *serverAccount()
{
    return geteuid() == 0 ? getpwnam("nobody") : nullptr;
}

int freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}
} // namespace

PgTestServer::PgTestServer() = default;

PgTestServer::~PgTestServer()
{
    if (m_running) stop();
}

QString PgTestServer::binFolder()
{
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QString best;
    QVersionNumber bestVersion;
    for (const QString &v : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QVersionNumber version = QVersionNumber::fromString(v);
        if (QFile::exists(root.filePath(v + QStringLiteral("/bin/pg_ctl"))) && version > bestVersion) {
            bestVersion = version;
            best = root.filePath(v + QStringLiteral("/bin"));
        }
    }
    return best;
}

QString PgTestServer::run(const QString &program, const QStringList &arguments, bool asServerUser) const
{
    QProcess p;
    p.setProgram(program.contains(QLatin1Char('/')) ? program : m_bin + QLatin1Char('/') + program);
    p.setArguments(arguments);
    p.setWorkingDirectory(m_dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.remove(QStringLiteral("PGPASSWORD"));
    p.setProcessEnvironment(env);
    const passwd *account = asServerUser ? serverAccount() : nullptr;
    if (account) {
        const uid_t uid = account->pw_uid;
        const gid_t gid = account->pw_gid;
        p.setChildProcessModifier([uid, gid] {
            if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(126);
        });
    }
    // pg_ctl leaves the server running with our pipes open: only its own output is read.
    p.setStandardOutputFile(asServerUser ? m_dir.filePath(QStringLiteral("ctl.out")) : QString());
    p.start();
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return QStringLiteral("ERROR: %1 did not finish").arg(program);
    }
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("ERROR: %1 failed (%2): %3").arg(program).arg(p.exitCode()).arg(err.trimmed());
    return asServerUser ? QString() : QString::fromLocal8Bit(p.readAllStandardOutput());
}

QString PgTestServer::setUp()
{
    m_bin = binFolder();
    if (m_bin.isEmpty())
        return QStringLiteral("no PostgreSQL server under /usr/lib/postgresql (scripts/install-deps.sh)");
    if (!m_dir.isValid()) return QStringLiteral("no temporary folder");
    const QString data = m_dir.filePath(QStringLiteral("data"));
    if (!QDir().mkdir(data)) return QStringLiteral("cannot make ") + data;
    if (const passwd *account = serverAccount()) {
        // The server's account must reach its folder and own its data and socket folder.
        if (::chmod(QFile::encodeName(m_dir.path()).constData(), 0711) != 0 ||
            ::chown(QFile::encodeName(data).constData(), account->pw_uid, account->pw_gid) != 0)
            return QStringLiteral("cannot hand the data folder to nobody");
    }
    QString error = run(QStringLiteral("initdb"),
                        {QStringLiteral("-D"), data, QStringLiteral("-U"), kUser,
                         QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                         QStringLiteral("--no-locale"), QStringLiteral("--no-sync")},
                        true);
    if (!error.isEmpty()) return error;
    m_port = freePort();
    if (m_port == 0) return QStringLiteral("no free port on 127.0.0.1");
    error = start();
    if (!error.isEmpty()) return error;
    error = psql(QStringLiteral("create database ") + kDatabase);
    if (error.startsWith(QLatin1String("ERROR:"))) return error;
    return resetTable();
}

QString PgTestServer::start()
{
    const QString data = m_dir.filePath(QStringLiteral("data"));
    // Only 127.0.0.1, the socket in the data folder, no durability work a test does not need.
    const QString options = QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off "
                                           "-c synchronous_commit=off -c full_page_writes=off")
                                .arg(m_port)
                                .arg(data);
    const QString error =
        run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), data, QStringLiteral("-l"), data + QStringLiteral("/server.log"),
             QStringLiteral("-o"), options, QStringLiteral("-w"), QStringLiteral("start")},
            true);
    m_running = error.isEmpty();
    return error;
}

QString PgTestServer::stop()
{
    const QString error =
        run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
             QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")},
            true);
    m_running = false;
    return error;
}

ServerAddress PgTestServer::address() const
{
    ServerAddress a;
    a.user = kUser;
    a.host = QStringLiteral("127.0.0.1");
    a.port = m_port;
    a.database = kDatabase;
    return a;
}

QString PgTestServer::psql(const QString &sql, bool file) const
{
    return run(QStringLiteral("psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"),
                QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"),
                QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port),
                QStringLiteral("-U"), kUser, QStringLiteral("-d"),
                sql.startsWith(QLatin1String("create database")) ? QStringLiteral("postgres") : kDatabase,
                file ? QStringLiteral("-f") : QStringLiteral("-c"), sql},
               false);
}

QString PgTestServer::resetTable() const
{
    QString out = psql(QStringLiteral(
        "drop table if exists items, itemhistory, stocktake, stocktakeitem cascade; drop function if exists "
        "items_next_version, "
        "items_notify_change, items_history_workstation, items_history_kind, items_history_undoes, "
        "items_history_inserted, items_history_updated, items_history_deleted cascade"));
    if (out.startsWith(QLatin1String("ERROR:"))) return out;
    // As the script's readers run it: from its file, which takes in the history's script beside it.
    out = psql(QStringLiteral(TALLYVANE_ITEMS_SQL), true);
    return out.startsWith(QLatin1String("ERROR:")) ? out : QString();
}

QString PgTestServer::addPasswordLogin(const QString &user, const QString &password) const
{
    QString out =
        psql(QStringLiteral("drop role if exists %1; create role %1 login password '%2'; "
                            "grant all on items, items_id_seq to %1; grant select on itemhistory to %1")
                 .arg(user, password));
    if (out.startsWith(QLatin1String("ERROR:"))) return out;
    // The first matching line wins: this login's comes before the file's trust for everyone.
    QFile hba(m_dir.filePath(QStringLiteral("data/pg_hba.conf")));
    if (!hba.open(QIODevice::ReadOnly)) return QStringLiteral("cannot read ") + hba.fileName();
    const QByteArray rest = hba.readAll();
    hba.close();
    const QByteArray line = "host all " + user.toUtf8() + " 127.0.0.1/32 scram-sha-256\n";
    if (rest.startsWith(line)) return QString();
    if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QStringLiteral("cannot write ") + hba.fileName();
    hba.write(line + rest);
    hba.close();
    out = psql(QStringLiteral("select pg_reload_conf()"));
    return out.startsWith(QLatin1String("ERROR:")) ? out : QString();
}

} // namespace tv::test
