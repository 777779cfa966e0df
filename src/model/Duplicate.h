#pragma once

#include <QString>
#include <QStringList>

class TFileMgr;
class TPrintItem;
class TProject;
class TSettingMgr;

// Copies of items and projects that print as their originals do: every stored
// value, and the pictures and data file as rows of their own, so that deleting
// a copy never takes anything from its original, nor the other way round.

// The name of a copy: the name with " 副本", or " 副本2", " 副本3", ..., the first
// that no name in `taken` has (compared without regard to case); a copy of a
// copy counts on from its original's name. The name is cut, never the suffix,
// so that the result keeps within maxLength characters (0: no limit).
QString CopyName(const QString& name, const QStringList& taken, int maxLength);

// Copies an item into its project under a new name and saves it, its picture
// copied in the same transaction. Returns the copy, which is then in the
// project's list. A refused save changes nothing and throws ESaveRefused.
TPrintItem* DuplicateItem(const TPrintItem& item, TFileMgr& files);

// Copies a project under a new name with its items, their pictures and its data
// file, in one transaction; its stored start is read afresh first. The run
// ledger stays the original's: the copy has printed nothing. Returns the copy,
// which is then in the project list. A refused save changes nothing and throws
// ESaveRefused.
TProject* DuplicateProject(TProject& project, TSettingMgr& settings, TFileMgr& files);
