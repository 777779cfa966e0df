#include "model/bom/FileBom.h"

#include "persistence/PersistentObject.h"

TCFile::TCFile() : Oid(NewOID()) {}

void TCFile::SetBody(const QByteArray& bytes) {
    Body = bytes;
    FileSize = int(Body.size());
}
