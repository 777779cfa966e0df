#pragma once

#include <QString>

// Points the embedded engine at the program's own configuration (SuperClassic, so
// several copies can share one database file). Must run before the first
// connection opens.
void SetupFirebirdEnvironment(const QString& programDir);

// The engine's lock folder for a database file: .kova-lock beside it, so that every
// process sharing the file shares its locks and no other user can plant anything
// among them. FIREBIRD_LOCK, when set, is used instead.
QString LockFolderFor(const QString& databaseFile);

// Readies a lock folder before a connection opens: a missing one is created with
// the owner and group of the folder it is in, shared with that group (setgid, mode
// 2770) where that folder is setgid, else private (0700). Returns why it may not be
// used, or an empty string: it must be a folder, not a symbolic link, of root, of
// this user or of its folder's owner, writable by this user and not by all, and
// hold no symbolic link and nothing writable by all. Every connection is refused
// with this text otherwise.
QString PrepareLockFolder(const QString& dir);

// Readies the lock folder for a connection to `databaseName`: FIREBIRD_LOCK when it
// is set, else LockFolderFor the file, which this process then keeps (the engine
// reads the folder once); a server location needs none. Trace files that killed
// processes left in the folder are removed. Returns why the connection is refused,
// or an empty string.
QString ReadyLockFolder(const QString& databaseName);

// SIGINT and SIGTERM reach the program instead of ending the database engine's
// attachments under it: the Firebird client library's own handling is told
// not to shut down, and `onSignal` runs (in signal context: it may only set a
// flag or write to a pipe). Install before the first connection opens.
void InstallTerminationHandling(void (*onSignal)(int));
