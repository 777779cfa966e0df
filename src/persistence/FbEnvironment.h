#pragma once

#include <QString>

// Points the embedded engine at the program's own configuration (SuperClassic, so
// several copies can share one database file) and at the lock folder every copy
// shares: /tmp/kova-firebird, or for an installed copy .kova-lock beside the
// machine's database; FIREBIRD_LOCK, when set, comes first. Must run before the
// first connection opens.
void SetupFirebirdEnvironment(const QString& programDir);

// Readies the lock folder (FIREBIRD_LOCK) before a connection opens: a missing one
// is created sticky and world-writable like /tmp, one of this user's that others
// may write to gets the sticky bit. Returns why it may not be used, or an empty
// string. It must be a folder, not a symbolic link, of root or of this user,
// writable by this user, and sticky when others may write to it: nobody else may
// remove or replace the lock files of a database in use. Every connection is
// refused with this text otherwise.
QString PrepareLockFolder(const QString& dir);

// SIGINT and SIGTERM reach the program instead of ending the database engine's
// attachments under it: the Firebird client library's own handling is told
// not to shut down, and `onSignal` runs (in signal context: it may only set a
// flag or write to a pipe). Install before the first connection opens.
void InstallTerminationHandling(void (*onSignal)(int));
