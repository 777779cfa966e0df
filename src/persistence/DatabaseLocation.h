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

// A copy installed under a prefix has its program in PREFIX/bin and its own files
// in PREFIX/share/kova (what the Debian package installs); it returns PREFIX.
// Anything else is a copy run from its own folder, with everything beside the
// program; it returns an empty string.
QString InstalledPrefix(const QString& programDir);

// The folder of the program's read-only files (firebird/, help/, schema.sql):
// PREFIX/share/kova, or the program's own folder.
QString ProgramDataDir(const QString& programDir);

// kova.ini: /etc/kova/kova.ini for a copy installed under /usr (PREFIX/etc/kova
// under another prefix), else beside the program.
QString SettingsFilePath(const QString& programDir);

// The database a copy uses when nothing names one: for an installed copy the one
// database of the machine, /var/lib/kova/KOVAUTF8.FDB (PREFIX/var/lib/kova under
// another prefix), shared by the group kova; else data/KOVAUTF8.FDB beside the
// program.
QString DefaultDatabasePath(const QString& programDir);

// The first that is set of: `given` (a command line's choice), the environment's
// KOVA_DATABASE, Location in the [Database] section of kova.ini (SettingsFilePath),
// the default file. The user and password come from KOVA_DATABASE_USER
// and KOVA_DATABASE_PASSWORD, else kova.ini's User and Password, else the
// embedded engine's fixed ones. A relative file is taken from the current folder
// (given, environment) or from kova.ini's folder. Throws Exception naming the
// file (and line) when kova.ini is there but cannot be read, is not a regular file
// of at most 64 kB of UTF-8 text, has no [Database] section or has a line it does
// not understand: a setting silently ignored would send a station to another database.
TDatabaseLocation ResolveDatabaseLocation(const QString& programDir, const QString& given = {});

// Connects the persistence layer ("FBAPI"). The failure message names the
// location tried and, when it is not the default, what set it.
void ConnectToDatabase(const TDatabaseLocation& location);
