#pragma once

#include "ItemStore.h"

#include <QString>
#include <memory>

namespace tv {

// Where a server keeps the inventory: postgresql://USER@HOST:PORT/DBNAME. The password is never
// part of it; the client library finds it in ~/.pgpass or PGPASSWORD as usual.
struct ServerAddress
{
    QString user; // empty: the client library's default (the login name)
    QString host;
    int port = 5432;
    QString database;

    // The address as the user wrote it, without a password.
    QString url() const;
};

// The server address chosen for the program folder: the environment variable TALLYVANE_DATABASE
// when set, else [Database] Server= in Tallyvane.ini there; empty for the database file.
QString databaseUrl(const QString &programFolder);

// Reads an address; throws AppError with a clear text naming `source` when it is malformed or
// holds a password.
ServerAddress parseServerUrl(const QString &url, const QString &source);

// Where the items are kept, for the title bar, the about box and the manual: "the file PATH" or
// "the server URL".
QString databaseDescription(const ItemStore &store);

// The store chosen for the program folder: the server named by databaseUrl(), or the database
// file InventoryDb.mdb in the folder. Not yet opened.
std::unique_ptr<ItemStore> makeItemStore(const QString &programFolder);

} // namespace tv
