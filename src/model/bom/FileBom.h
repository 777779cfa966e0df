#pragma once

#include <QByteArray>
#include <QString>

// One stored file (a row of P_FILE) in memory.
class TCFile {
public:
    TCFile();

    QString Oid;
    QString Owner;    // OID of the print item the file belongs to
    QString FileName; // source file name without directory and extension
    QString FileType; // extension as the caller gives it, e.g. ".jpg"
    int FileSize = 0;
    QByteArray Body;

    // Makes bytes the body and sets FileSize to its size.
    void SetBody(const QByteArray& bytes);
};
