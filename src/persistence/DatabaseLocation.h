#pragma once

#include <QString>

// Where the program's database is and who connects to it: the file beside the
// program (the embedded engine), or a database on a Firebird server that several
// print stations share.
struct TDatabaseLocation {
    // A file, or a server location such as "host/3050:/srv/kova/KOVAUTF8.FDB".
    QString Name;
    QString UserName;
    QString Password;
    // What chose the location, for messages; empty for the default file.
    QString Origin;
};

// "host:path", "host/port:path" and "inet://..." name a server, as the Firebird
// client reads them; anything else is a file.
bool IsServerLocation(const QString& location);

// data/KOVAUTF8.FDB beside the program.
QString DefaultDatabasePath(const QString& programDir);

// The first that is set of: `given` (a command line's choice), the environment's
// KOVA_DATABASE, Location in the [Database] section of kova.ini beside the
// program, the default file. The user and password come from KOVA_DATABASE_USER
// and KOVA_DATABASE_PASSWORD, else kova.ini's User and Password, else the
// embedded engine's fixed ones. A relative file is taken from the current folder
// (given, environment) or from the program's folder (kova.ini). Throws Exception
// naming the file (and line) when kova.ini is there but cannot be read, is not a
// regular file of at most 64 kB of UTF-8 text, has no [Database] section or has a
// line it does not understand: a setting silently ignored would send a station to
// another database.
TDatabaseLocation ResolveDatabaseLocation(const QString& programDir, const QString& given = {});

// Connects the persistence layer ("FBAPI"). The failure message names the
// location tried and, when it is not the default, what set it.
void ConnectToDatabase(const TDatabaseLocation& location);
