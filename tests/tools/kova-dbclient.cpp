// A second program on the same database file: reads the projects and saves new
// ones, one transaction each, while other processes do the same.
#include "TestSupport.h"

#include "model/bom/SettingBom.h"
#include "persistence/FbLayer.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    try {
        EnsurePersistence();
        PersistenceManager().ConnectDatabase(args[1], "SYSDBA", "pinecrest", "", "FBAPI");
        const int n = args[3].toInt();
        for (int i = 0; i < n; ++i) {
            TProjectList list;
            list.Read();
            auto* p = new TProject;
            p->SetProjectName(QStringLiteral("%1-%2").arg(args[2]).arg(i));
            list.Add(p);
            auto* item = new TPrintItem;
            p->ItemList()->Add(item);
            p->SetDirty(true);
            item->SetDirty(true);
            p->Save();
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
