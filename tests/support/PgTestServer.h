#pragma once

#include "items/ItemStoreConfig.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tv::test {

// A PostgreSQL server of its own in a temporary folder, on a free port of 127.0.0.1 only, with an
// `inventory` database holding the Items table of data/postgresql/items.sql. Runs as `nobody` when
// the tests run as root (the server refuses root). Stopped and removed when destroyed.
class PgTestServer
{
public:
    PgTestServer();
    ~PgTestServer();
    PgTestServer(const PgTestServer &) = delete;
    PgTestServer &operator=(const PgTestServer &) = delete;

    // Makes and starts the server; the error text when that failed, empty when it runs.
    QString setUp();
    QString start(); // starts it again after stop(), on the same port
    QString stop();  // a fast shutdown: sessions are ended, committed work kept

    ServerAddress address() const;
    QString url() const { return address().url(); }
    int port() const { return m_port; }

    // Runs SQL through psql as the server's superuser, as another program would; the output
    // (unaligned, tuples only), or the error prefixed with "ERROR:" when psql failed.
    QString psql(const QString &sql, bool file = false) const; // file: sql names a script
    // Drops the table and makes it again from items.sql: a fresh, empty inventory.
    QString resetTable() const;
    // (Re)makes a login that must give this password over TCP (everyone else is trusted), with rights
    // on the table as it is now; the error text.
    QString addPasswordLogin(const QString &user, const QString &password) const;

    // The folder of the server's programs (initdb, pg_ctl, psql); empty when none is installed.
    static QString binFolder();

private:
    QString run(const QString &program, const QStringList &arguments, bool asServerUser) const;

    QTemporaryDir m_dir;
    QString m_bin;
    int m_port = 0;
    bool m_running = false;
};

} // namespace tv::test
